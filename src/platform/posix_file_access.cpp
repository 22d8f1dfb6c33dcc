// SPDX-License-Identifier: GPL-3.0-or-later
#include "posix_file_access.h"

#include "copy_error.h"
#include "copy_read_back.h"
#include "regular_file_open.h"
#include "sector_scrape.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace brindlecap {

std::error_code PosixFileAccess::examineSource(const std::string& path, SourceFacts& facts) const
{
    NamePlace place;
    if (const auto error = placeOf(m_sources, path, place))
        return error;
    // Look before opening: opening a device can have side effects (a tape
    // rewinds), and only regular files are copied.
    struct stat status
    {};
    if (const auto error = lookUpSource(place, path, status))
        return error;
    const bool device =
        m_sourceKinds == SourceKinds::regularFileOrBlockDevice && S_ISBLK(status.st_mode);
    if (!S_ISREG(status.st_mode) && !device)
        return CopyError::notRegularFile;
    // Opening it proves it can be read: a file that cannot is no source at
    // all, and copying it as zeros would pass for a damaged disc. In a tree
    // only the file just looked at is opened.
    const auto looked = identityOf(status);
    UniqueFd probe;
    if (const auto error = openRegularFile(place, O_RDONLY, place.inTree ? &looked : nullptr,
                                           CopyError::sourceReplaced, probe, status, m_sourceKinds))
        return error;
    facts.length = status.st_size;
    // A device's length is the medium's, which only the driver knows.
    std::uint64_t deviceBytes = 0;
    if (S_ISBLK(status.st_mode) && ::ioctl(probe.get(), BLKGETSIZE64, &deviceBytes) != 0)
        return lastError();
    if (S_ISBLK(status.st_mode))
        facts.length = static_cast<std::int64_t>(deviceBytes);
    facts.identity = identityOf(status);
    facts.permissions = status.st_mode & 0777;
    facts.modified = {status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
    // Where sources are kept open, the open that follows takes this one:
    // a tree of small files costs one open each, not two.
    if (m_keepSource) {
        m_examined = std::move(probe);
        m_examinedFile = facts.identity;
    }
    return {};
}

std::error_code PosixFileAccess::lookUpSource(const NamePlace& place, const std::string& path,
                                              struct stat& status) const
{
    if (!place.inTree)
        return ::stat(path.c_str(), &status) == 0 ? std::error_code() : lastError();
    // What a link leads to now, not what it led to when the tree was read:
    // a link is only followed to a file of the tree.
    if (::fstatat(place.folder, place.name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return lastError();
    const bool link = S_ISLNK(status.st_mode);
    if (link && ::fstatat(place.folder, place.name, &status, 0) != 0)
        return lastError();
    if (link && !m_sources->ownsFile(identityOf(status)))
        return CopyError::linkOutOfTree;
    return {};
}

std::error_code PosixFileAccess::identify(const std::string& path, FileIdentity& identity) const
{
    NamePlace place;
    const bool copy = m_copies != nullptr && m_copies->holds(path);
    if (const auto error = placeOf(copy ? m_copies : m_sources, path, place))
        return error;
    struct stat status
    {};
    if (::fstatat(place.folder, place.name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return lastError();
    if (S_ISLNK(status.st_mode)) {
        if (::fstatat(place.folder, place.name, &status, 0) != 0)
            return errno == ENOENT ? make_error_code(CopyError::danglingSymlink) : lastError();
        // Beneath the copies' folder a link is never written through.
        if (copy)
            return CopyError::destinationIsLink;
    }
    identity = identityOf(status);
    return {};
}

std::error_code PosixFileAccess::openSource(const std::string& path, const FileIdentity& expected)
{
    if (m_slot.isOpen())
        return std::make_error_code(std::errc::device_or_resource_busy);
    // Read-only and never O_CREAT: nothing is ever written to the medium
    // being rescued, not even a new empty file where a source vanished.
    NamePlace place;
    if (const auto error = placeOf(m_sources, path, place))
        return error;
    if (m_keptSource.isOpen() && m_last.file == expected) {
        if (const auto error = stillNamed(place, path, expected)) {
            letKeptSourceGo();
            return error;
        }
        m_slot = std::move(m_keptSource);
        m_slotIsSource = true;
        return {};
    }
    letKeptSourceGo();
    UniqueFd fd;
    if (m_examined.isOpen() && m_examinedFile == expected) {
        if (const auto error = stillNamed(place, path, expected)) {
            m_examined.close();
            return error;
        }
        fd = std::move(m_examined);
    } else {
        m_examined.close();
        struct stat status
        {};
        if (const auto error = openRegularFile(
                place, O_RDONLY, &expected, CopyError::sourceReplaced, fd, status, m_sourceKinds))
            return error;
    }
    if (expected != m_last.file) {
        m_last = {};
        m_last.file = expected;
    }
    m_slot = std::move(fd);
    m_slotIsSource = true;
    m_randomAdvised = false;
    m_probe.emplace(m_slot.get(), m_sectorSize, m_sectorEvidence[expected.device]);
    return {};
}

std::error_code PosixFileAccess::stillNamed(const NamePlace& place, const std::string& path,
                                            const FileIdentity& expected) const
{
    // A descriptor already open is that file; the name must still lead to
    // it, as a fresh open would check.
    struct stat status
    {};
    if (const auto error = lookUpSource(place, path, status))
        return error;
    return identityOf(status) == expected ? std::error_code() : CopyError::sourceReplaced;
}

void PosixFileAccess::letKeptSourceGo()
{
    if (!m_keptSource.isOpen())
        return;
    m_probe.reset();
    m_keptSource.close(); // read only: nothing for a close to lose
}

std::error_code PosixFileAccess::openDestination(const std::string& path,
                                                 std::optional<FileIdentity>& identity,
                                                 unsigned permissions,
                                                 std::span<const FileIdentity> forbidden)
{
    if (m_slot.isOpen())
        return std::make_error_code(std::errc::device_or_resource_busy);
    // No O_TRUNC: the file is written in place chunk by chunk.
    NamePlace place;
    if (const auto error = placeOf(m_copies, path, place))
        return error;
    UniqueFd fd;
    std::error_code error;
    if (!identity) {
        // A new name first, as most are: O_EXCL with O_NOFOLLOW creates the
        // file only where nothing at all is there, not even a link.
        fd = UniqueFd(::openat(place.folder, place.name,
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                               (permissions & 0777) | S_IWUSR));
        error = fd.isOpen() ? std::error_code() : lastError();
        struct stat status
        {};
        if (!error && ::fstat(fd.get(), &status) == 0)
            identity = identityOf(status);
    }
    // The file the job opened before, or a name already taken (by an earlier
    // copy, or anything else), which is looked at before it is opened.
    if (identity ? !fd.isOpen() : error == std::errc::file_exists)
        error = openDestinationFile(place, identity, forbidden, fd);
    if (error)
        return error;
    m_slot = std::move(fd);
    return {};
}

ReadResult PosixFileAccess::readAt(std::int64_t offset, std::span<std::byte> buffer)
{
    return salvage(offset, buffer, StretchSearch::exact);
}

ReadResult PosixFileAccess::skimAt(std::int64_t offset, std::span<std::byte> buffer)
{
    return salvage(offset, buffer, StretchSearch::edges);
}

ReadResult PosixFileAccess::salvage(std::int64_t offset, std::span<std::byte> buffer,
                                    StretchSearch search)
{
    if (!m_slotIsSource || !m_probe) {
        ReadResult result;
        result.error = std::make_error_code(std::errc::bad_file_descriptor);
        return result;
    }
    // Bad sectors come in groups: right after a damaged chunk, read-ahead
    // would only ask for failing pages again and again. A kept descriptor
    // gets it back once a chunk has read clean.
    const bool random = offset == m_last.damagedEnd;
    if (random != m_randomAdvised)
        ::posix_fadvise(m_slot.get(), 0, 0, random ? POSIX_FADV_RANDOM : POSIX_FADV_NORMAL);
    m_randomAdvised = random;
    DescriptorReads bulk(m_slot.get());
    auto result =
        salvageRead(bulk, *m_probe, offset, buffer, m_last.salvage, m_stopRequested, search);
    const bool damaged = result.error || !result.unreadable.empty();
    m_last.damagedEnd = damaged ? offset + static_cast<std::int64_t>(buffer.size()) : -1;
    return result;
}

ReadResult PosixFileAccess::scrapeAt(std::int64_t offset, std::span<std::byte> buffer)
{
    if (!m_slotIsSource || !m_probe) {
        ReadResult result;
        result.error = std::make_error_code(std::errc::bad_file_descriptor);
        return result;
    }
    return scrapeRead(*m_probe, offset, buffer, m_stopRequested);
}

WriteResult PosixFileAccess::writeAt(std::int64_t offset, std::span<const std::byte> buffer,
                                     std::span<const ByteRange> skip)
{
    WriteResult result;
    if (!m_slot.isOpen()) {
        result.error = std::make_error_code(std::errc::bad_file_descriptor);
        return result;
    }
    struct stat status
    {};
    const auto size = static_cast<std::int64_t>(buffer.size());
    if (::fstat(m_slot.get(), &status) != 0) {
        result.error = lastError();
        return result;
    }
    // What an earlier copy left where this chunk goes is looked at before
    // anything is written: its data is kept where nothing was read, and said
    // to be; its zeros are still missing there, and recovered where read.
    const auto lengthBefore = status.st_size;
    CopyReadBack before(m_slot.get());
    for (const auto& range : skip) {
        const auto inFile = partBefore({offset + range.offset, range.length}, lengthBefore);
        for (const auto& data : before.dataIn(inFile))
            appendRange(result.keptData, {data.offset - offset, data.length});
    }
    // The bytes between the skipped ranges, then after the last one.
    std::int64_t from = 0;
    const auto writeUpTo = [&](std::int64_t to) {
        const auto part =
            buffer.subspan(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
        for (const auto& filled : before.zerosFilledIn(offset + from, part, lengthBefore))
            appendRange(result.zerosFilled, {from + filled.offset, filled.length});
        const auto put = writeAll(m_slot.get(), offset + from, part);
        result.bytes = from + put.bytes;
        result.error = put.error;
        return !put.error;
    };
    for (const auto& range : skip) {
        if (!writeUpTo(std::clamp<std::int64_t>(range.offset, from, size)))
            return result;
        from = std::clamp<std::int64_t>(range.end(), from, size);
    }
    if (from < size && !writeUpTo(size))
        return result;
    // Unread bytes at the end of the buffer, past the end of the file: the
    // file still grows over them, so they read as zeros and later chunks
    // land where they belong.
    if (!skip.empty() && skip.back().end() == size && ::fstat(m_slot.get(), &status) == 0 &&
        status.st_size < offset + size && ::ftruncate(m_slot.get(), offset + size) != 0) {
        result.bytes = skip.back().offset;
        result.error = lastError();
        return result;
    }
    result.bytes = size;
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

std::error_code PosixFileAccess::setModificationTime(FileTime time)
{
    if (!m_slot.isOpen())
        return std::make_error_code(std::errc::bad_file_descriptor);
    // The access time is the copy's own: only the modification time is the
    // source's.
    const timespec times[2] = {
        {0, UTIME_OMIT}, {static_cast<time_t>(time.seconds), static_cast<long>(time.nanoseconds)}};
    return ::futimens(m_slot.get(), times) == 0 ? std::error_code() : lastError();
}

std::error_code PosixFileAccess::openCopy(const std::string& path, const FileIdentity& written,
                                          WrittenCopy& into) const
{
    NamePlace place;
    if (const auto error = placeOf(m_copies, path, place))
        return error;
    return into.open(place, written);
}

std::error_code PosixFileAccess::examineCopy(const std::string& path, const FileIdentity& written,
                                             CopyFacts& facts) const
{
    WrittenCopy copy;
    if (const auto error = openCopy(path, written, copy))
        return error;
    facts = copy.facts();
    return {};
}

std::error_code PosixFileAccess::syncCopy(const std::string& path, const FileIdentity& written)
{
    WrittenCopy copy;
    if (const auto error = openCopy(path, written, copy))
        return error;
    return copy.sync();
}

std::error_code PosixFileAccess::close()
{
    const bool source = std::exchange(m_slotIsSource, false);
    if (source && m_keepSource) {
        m_keptSource = std::move(m_slot);
        return {};
    }
    if (source)
        m_probe.reset();
    return m_slot.close();
}

} // namespace brindlecap
