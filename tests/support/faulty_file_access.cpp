// SPDX-License-Identifier: GPL-3.0-or-later
#include "faulty_file_access.h"

#include <algorithm>

namespace brindlecap::testing {

std::error_code FaultyFileAccess::openSource(const std::string& path, const FileIdentity& expected)
{
    sourcesOpened.push_back(path);
    if (unopenable.contains(path))
        return std::make_error_code(std::errc::no_such_device);
    m_openPath = path;
    m_openForWriting = false;
    return ForwardingFileAccess::openSource(path, expected);
}

std::error_code FaultyFileAccess::openDestination(const std::string& path,
                                                  std::optional<FileIdentity>& identity,
                                                  unsigned permissions,
                                                  std::span<const FileIdentity> forbidden)
{
    destinationsOpened.push_back(path);
    if (unopenable.contains(path))
        return std::make_error_code(std::errc::read_only_file_system);
    m_openPath = path;
    m_openForWriting = true;
    return ForwardingFileAccess::openDestination(path, identity, permissions, forbidden);
}

ReadResult FaultyFileAccess::readAt(std::int64_t offset, std::span<std::byte> buffer)
{
    rangesRead.push_back({offset, static_cast<std::int64_t>(buffer.size())});
    return failingWhereBad(offset, ForwardingFileAccess::readAt(offset, buffer));
}

ReadResult FaultyFileAccess::skimAt(std::int64_t offset, std::span<std::byte> buffer)
{
    rangesRead.push_back({offset, static_cast<std::int64_t>(buffer.size())});
    return failingWhereBad(offset, ForwardingFileAccess::skimAt(offset, buffer));
}

ReadResult FaultyFileAccess::scrapeAt(std::int64_t offset, std::span<std::byte> buffer)
{
    rangesScraped.push_back({offset, static_cast<std::int64_t>(buffer.size())});
    return failingWhereBad(offset, ForwardingFileAccess::scrapeAt(offset, buffer));
}

ReadResult FaultyFileAccess::failingWhereBad(std::int64_t offset, ReadResult result) const
{
    const ByteRange read{offset, result.bytes};
    for (const auto& bad : badRanges) {
        if (bad.path != m_openPath)
            continue;
        const auto from = std::max(bad.offset, read.offset);
        const auto to = std::min(bad.offset + bad.length, read.end());
        if (from < to) {
            result.unreadable.push_back({from - offset, to - from});
            if (!result.error)
                result.error = std::make_error_code(std::errc::io_error);
        }
    }
    std::sort(result.unreadable.begin(), result.unreadable.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
    return result;
}

WriteResult FaultyFileAccess::writeAt(std::int64_t offset, std::span<const std::byte> buffer,
                                      std::span<const ByteRange> skip)
{
    if (destinationLimit < 0 || !m_openForWriting)
        return ForwardingFileAccess::writeAt(offset, buffer, skip);
    const std::int64_t room = std::max<std::int64_t>(0, destinationLimit - offset);
    const auto fits = std::min<std::int64_t>(room, static_cast<std::int64_t>(buffer.size()));
    auto result =
        ForwardingFileAccess::writeAt(offset, buffer.first(static_cast<std::size_t>(fits)), skip);
    if (!result.error && fits < static_cast<std::int64_t>(buffer.size()))
        result.error = std::make_error_code(std::errc::no_space_on_device);
    return result;
}

std::error_code FaultyFileAccess::close()
{
    m_openPath.clear();
    return ForwardingFileAccess::close();
}

} // namespace brindlecap::testing
