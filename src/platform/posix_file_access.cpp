#include "posix_file_access.h"

#include "copy_error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindlecap {

namespace {

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

} // namespace

std::error_code PosixFileAccess::length(const std::string& path, std::int64_t& length) const
{
    // Look before opening: opening a device or a FIFO can block or have side
    // effects (a tape rewinds), and only regular files are copied.
    struct stat status
    {};
    if (::stat(path.c_str(), &status) != 0)
        return lastError();
    if (!S_ISREG(status.st_mode))
        return CopyError::notRegularFile;
    // A file that cannot be opened for reading is no source at all, and
    // copying it as zeros would pass for a damaged disc.
    UniqueFd probe(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!probe.isOpen())
        return lastError();
    if (::fstat(probe.get(), &status) != 0)
        return lastError();
    if (!S_ISREG(status.st_mode))
        return CopyError::notRegularFile;
    length = status.st_size;
    return {};
}

bool PosixFileAccess::sameFile(const std::string& first, const std::string& second) const
{
    struct stat a
    {};
    struct stat b
    {};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::error_code PosixFileAccess::openSource(const std::string& path)
{
    // Read-only and never O_CREAT: nothing is ever written to the medium
    // being rescued, not even a new empty file where a source vanished.
    return openRegular(path, O_RDONLY);
}

std::error_code PosixFileAccess::openDestination(const std::string& path)
{
    // No O_TRUNC: the file is written in place chunk by chunk.
    return openRegular(path, O_WRONLY | O_CREAT);
}

std::error_code PosixFileAccess::openRegular(const std::string& path, int flags)
{
    if (m_slot.isOpen())
        return std::make_error_code(std::errc::device_or_resource_busy);
    // O_NONBLOCK: a FIFO put where a file was expected must not hang the
    // program (its open would wait for a peer).
    UniqueFd fd(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666));
    if (!fd.isOpen())
        return lastError();
    struct stat status
    {};
    if (::fstat(fd.get(), &status) != 0)
        return lastError();
    if (!S_ISREG(status.st_mode))
        return CopyError::notRegularFile;
    m_slot = std::move(fd);
    return {};
}

TransferResult PosixFileAccess::readAt(std::int64_t position, std::span<std::byte> buffer)
{
    TransferResult result;
    if (!m_slot.isOpen()) {
        result.error = std::make_error_code(std::errc::bad_file_descriptor);
        return result;
    }
    while (result.bytes < static_cast<std::int64_t>(buffer.size())) {
        const auto rest = buffer.subspan(static_cast<std::size_t>(result.bytes));
        const auto got =
            ::pread(m_slot.get(), rest.data(), rest.size(), position - 1 + result.bytes);
        if (got > 0) {
            result.bytes += got;
        } else if (got == 0) {
            break; // end of file: the rest of the buffer keeps its zeros
        } else if (errno != EINTR) {
            result.error = lastError(); // EIO on a bad sector, ENXIO on a vanished medium
            break;
        }
    }
    return result;
}

TransferResult PosixFileAccess::writeAt(std::int64_t position, std::span<const std::byte> buffer)
{
    TransferResult result;
    if (!m_slot.isOpen()) {
        result.error = std::make_error_code(std::errc::bad_file_descriptor);
        return result;
    }
    while (result.bytes < static_cast<std::int64_t>(buffer.size())) {
        const auto rest = buffer.subspan(static_cast<std::size_t>(result.bytes));
        const auto put =
            ::pwrite(m_slot.get(), rest.data(), rest.size(), position - 1 + result.bytes);
        if (put > 0) {
            result.bytes += put;
        } else if (put == 0) {
            // No progress and no error: give up rather than spin.
            result.error = std::make_error_code(std::errc::io_error);
            break;
        } else if (errno != EINTR) {
            result.error = lastError(); // ENOSPC on a full disk, EFBIG past the size limit
            break;
        }
    }
    return result;
}

std::error_code PosixFileAccess::cutTo(std::int64_t length)
{
    if (!m_slot.isOpen())
        return std::make_error_code(std::errc::bad_file_descriptor);
    struct stat status
    {};
    if (::fstat(m_slot.get(), &status) != 0)
        return lastError();
    if (status.st_size > length && ::ftruncate(m_slot.get(), length) != 0)
        return lastError();
    return {};
}

std::error_code PosixFileAccess::close()
{
    return m_slot.close();
}

} // namespace brindlecap
