// SPDX-License-Identifier: GPL-3.0-or-later
#include "map_folder.h"

#include "descriptor_reads.h"
#include "retried_call.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindlecap {

namespace {

// A map of a million bad areas takes some 30 MB; anything far larger is no
// map of ours.
constexpr std::int64_t largestMap = std::int64_t{256} << 20;

class MapFolderErrorCategory final : public std::error_category
{
public:
    const char* name() const noexcept override { return "brindlecap-maps"; }
    std::string message(int value) const override
    {
        switch (static_cast<MapFolderError>(value)) {
        case MapFolderError::notAFolder:
            return "it is not a folder";
        case MapFolderError::notAPlainFile:
            return "it is not a plain file";
        case MapFolderError::inUse:
            return "another program holds it open";
        case MapFolderError::tooLarge:
            return "it is too large to be a rescue map";
        }
        return "unknown error";
    }
};

// What an open that would follow a link, or wait, says instead.
std::error_code refusal(int error, MapFolderError linkOrOther)
{
    switch (error) {
    case ELOOP:   // a symbolic link, with O_NOFOLLOW
    case ENOTDIR: // not a folder, with O_DIRECTORY
    case ENXIO:   // a FIFO with no reader, opened for writing without waiting
    case EISDIR:  // a folder where a file was expected
        return linkOrOther;
    case EWOULDBLOCK: // another program's lease, which O_NONBLOCK does not wait for
        return MapFolderError::inUse;
    default:
        return {error, std::generic_category()};
    }
}

} // namespace

const std::error_category& mapFolderErrorCategory() noexcept
{
    static const MapFolderErrorCategory category;
    return category;
}

std::error_code MapFolder::open(int parent, bool create)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    UniqueFd fd(::openat(parent, name, flags));
    if (!fd.isOpen() && errno == ENOENT && create) {
        // Made where it was missing; whatever appeared there meanwhile is
        // checked like anything else found there.
        if (::mkdirat(parent, name, 0755) != 0 && errno != EEXIST)
            return lastError();
        fd = UniqueFd(::openat(parent, name, flags));
    }
    if (!fd.isOpen())
        return refusal(errno, MapFolderError::notAFolder);
    struct stat status
    {};
    if (::fstat(fd.get(), &status) != 0)
        return lastError();
    m_device = static_cast<std::uint64_t>(status.st_dev);
    m_fd = std::move(fd);
    return {};
}

std::error_code MapFolder::openFile(const std::string& file, int flags, UniqueFd& opened) const
{
    UniqueFd fd(
        ::openat(m_fd.get(), file.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (!fd.isOpen())
        return refusal(errno, MapFolderError::notAPlainFile);
    struct stat status
    {};
    if (::fstat(fd.get(), &status) != 0)
        return lastError();
    if (!S_ISREG(status.st_mode))
        return MapFolderError::notAPlainFile;
    opened = std::move(fd);
    return {};
}

std::error_code MapFolder::read(const std::string& file, std::string& text) const
{
    UniqueFd fd;
    if (const auto error = openFile(file, O_RDONLY, fd))
        return error;
    text.clear();
    DescriptorReads reads(fd.get());
    char block[65536];
    for (;;) {
        const auto got = reads.readOnce(static_cast<std::int64_t>(text.size()),
                                        std::as_writable_bytes(std::span(block)));
        if (got.error)
            return got.error;
        if (got.bytes == 0)
            return {};
        if (static_cast<std::int64_t>(text.size()) + got.bytes > largestMap)
            return MapFolderError::tooLarge;
        text.append(block, static_cast<std::size_t>(got.bytes));
    }
}

std::error_code MapFolder::writeNew(const std::string& file, std::string_view head,
                                    std::string_view body, bool durable)
{
    UniqueFd fd;
    // No O_TRUNC before it is known to be a plain file: a left-over of an
    // interrupted run is, and is written over.
    if (const auto error = openFile(file + ".new", O_WRONLY | O_CREAT, fd))
        return error;
    if (::ftruncate(fd.get(), 0) != 0)
        return lastError();
    return writeMap(std::move(fd), head, body, durable);
}

std::error_code MapFolder::writeFirst(const std::string& file, std::string_view head,
                                      std::string_view body, bool durable)
{
    // O_EXCL: a file of any kind made there meanwhile is left alone.
    UniqueFd fd(::openat(m_fd.get(), file.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (!fd.isOpen())
        return lastError();
    return writeMap(std::move(fd), head, body, durable);
}

std::error_code MapFolder::writeMap(UniqueFd fd, std::string_view head, std::string_view body,
                                    bool durable)
{
    if (const auto written = writeAll(fd.get(), 0, std::as_bytes(std::span(head))); written.error)
        return written.error;
    if (const auto written = writeAll(fd.get(), static_cast<std::int64_t>(head.size()),
                                      std::as_bytes(std::span(body)));
        written.error)
        return written.error;
    if (durable && retrying([&] { return ::fsync(fd.get()); }) != 0)
        return lastError();
    return fd.close();
}

std::error_code MapFolder::replace(const std::string& file)
{
    if (::renameat(m_fd.get(), (file + ".new").c_str(), m_fd.get(), file.c_str()) != 0)
        return lastError();
    return {};
}

std::error_code MapFolder::sync() const
{
    return retrying([&] { return ::fsync(m_fd.get()); }) == 0 ? std::error_code() : lastError();
}

} // namespace brindlecap
