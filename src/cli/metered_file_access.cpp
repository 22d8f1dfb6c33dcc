// SPDX-License-Identifier: GPL-3.0-or-later
#include "metered_file_access.h"

namespace brindlecap {

std::error_code MeteredFileAccess::openSource(const std::string& path, const FileIdentity& expected)
{
    // A drive spinning up, or a lease being waited for, blocks here.
    m_clock.started();
    const auto error = ForwardingFileAccess::openSource(path, expected);
    m_clock.ended(false);
    return error;
}

template <typename Read> ReadResult MeteredFileAccess::metered(Read read)
{
    m_clock.started();
    auto result = read();
    std::int64_t unread = 0;
    for (const auto& range : result.unreadable)
        unread += range.length;
    m_clock.ended(result.bytes > unread);
    return result;
}

ReadResult MeteredFileAccess::readAt(std::int64_t offset, std::span<std::byte> buffer)
{
    return metered([&] { return ForwardingFileAccess::readAt(offset, buffer); });
}

ReadResult MeteredFileAccess::skimAt(std::int64_t offset, std::span<std::byte> buffer)
{
    return metered([&] { return ForwardingFileAccess::skimAt(offset, buffer); });
}

ReadResult MeteredFileAccess::scrapeAt(std::int64_t offset, std::span<std::byte> buffer)
{
    return metered([&] { return ForwardingFileAccess::scrapeAt(offset, buffer); });
}

} // namespace brindlecap
