#include "posix_file_access.h"

#include "copy_error.h"
#include "regular_file_open.h"

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

// EINTR and EAGAIN mean "try again", but a medium that answers every read
// with them would keep the program spinning for ever. After this many in a
// row without a byte of progress the transfer counts as failed.
constexpr int retriesWithoutProgress = 8;

bool worthRetrying(int error)
{
    return error == EINTR || error == EAGAIN;
}

// Runs pread or pwrite over the whole buffer: short transfers go on from
// where they stopped, the end of the file (0) ends it.
template <typename Buffer, typename Transfer>
TransferResult transferAll(int fd, std::int64_t position, Buffer buffer, Transfer transfer)
{
    TransferResult result;
    int retries = 0;
    while (result.bytes < static_cast<std::int64_t>(buffer.size())) {
        const auto rest = buffer.subspan(static_cast<std::size_t>(result.bytes));
        const auto moved = transfer(fd, rest.data(), rest.size(), position - 1 + result.bytes);
        if (moved > 0) {
            result.bytes += moved;
            retries = 0;
        } else if (moved == 0) {
            break;
        } else if (!worthRetrying(errno) || ++retries > retriesWithoutProgress) {
            // EIO on a bad sector, ENXIO on a vanished medium, ENOSPC on a
            // full disk, EFBIG past the size limit, or EINTR without end.
            result.error = lastError();
            break;
        }
    }
    return result;
}

} // namespace

std::error_code PosixFileAccess::examineSource(const std::string& path, SourceFacts& facts) const
{
    // Opening it proves it can be read: a file that cannot is no source at
    // all, and copying it as zeros would pass for a damaged disc.
    UniqueFd probe;
    if (const auto error = openRegularFile(path, O_RDONLY, nullptr, {}, probe))
        return error;
    struct stat status
    {};
    if (::fstat(probe.get(), &status) != 0)
        return lastError();
    facts.length = status.st_size;
    facts.identity = identityOf(status);
    facts.permissions = status.st_mode & 0777;
    return {};
}

std::error_code PosixFileAccess::identify(const std::string& path, FileIdentity& identity) const
{
    struct stat status
    {};
    if (::stat(path.c_str(), &status) == 0) {
        identity = identityOf(status);
        return {};
    }
    const auto error = lastError();
    if (error == std::errc::no_such_file_or_directory && ::lstat(path.c_str(), &status) == 0 &&
        S_ISLNK(status.st_mode))
        return CopyError::danglingSymlink;
    return error;
}

std::error_code PosixFileAccess::openSource(const std::string& path, const FileIdentity& expected)
{
    if (m_slot.isOpen())
        return std::make_error_code(std::errc::device_or_resource_busy);
    // Read-only and never O_CREAT: nothing is ever written to the medium
    // being rescued, not even a new empty file where a source vanished.
    UniqueFd fd;
    if (const auto error =
            openRegularFile(path, O_RDONLY, &expected, CopyError::sourceReplaced, fd))
        return error;
    m_slot = std::move(fd);
    return {};
}

std::error_code PosixFileAccess::openDestination(const std::string& path,
                                                 std::optional<FileIdentity>& identity,
                                                 unsigned permissions)
{
    if (m_slot.isOpen())
        return std::make_error_code(std::errc::device_or_resource_busy);
    // No O_TRUNC: the file is written in place chunk by chunk.
    UniqueFd fd;
    auto error = openRegularFile(path, O_WRONLY, identity ? &*identity : nullptr,
                                 CopyError::destinationReplaced, fd);
    if (error == std::errc::no_such_file_or_directory && !identity) {
        // O_EXCL with O_NOFOLLOW creates only a new name: it refuses an
        // existing symbolic link, one to nothing included, as cp does.
        fd = UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                             (permissions & 0777) | S_IWUSR));
        error = fd.isOpen() ? std::error_code() : lastError();
        struct stat status
        {};
        if (error == std::errc::file_exists && ::lstat(path.c_str(), &status) == 0 &&
            S_ISLNK(status.st_mode))
            error = CopyError::danglingSymlink;
        else if (error == std::errc::file_exists) // made by someone else meanwhile
            error = openRegularFile(path, O_WRONLY, nullptr, {}, fd);
    }
    if (error)
        return error;
    if (!identity) {
        struct stat status
        {};
        if (::fstat(fd.get(), &status) != 0)
            return lastError();
        identity = identityOf(status);
    }
    m_slot = std::move(fd);
    return {};
}

TransferResult PosixFileAccess::readAt(std::int64_t position, std::span<std::byte> buffer)
{
    if (!m_slot.isOpen())
        return {0, std::make_error_code(std::errc::bad_file_descriptor)};
    return transferAll(m_slot.get(), position, buffer, ::pread);
}

TransferResult PosixFileAccess::writeAt(std::int64_t position, std::span<const std::byte> buffer)
{
    if (!m_slot.isOpen())
        return {0, std::make_error_code(std::errc::bad_file_descriptor)};
    auto result = transferAll(m_slot.get(), position, buffer, ::pwrite);
    if (!result.error && result.bytes < static_cast<std::int64_t>(buffer.size()))
        result.error = std::make_error_code(std::errc::io_error); // no progress, no error
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
