// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc_sectors.h"

#include <algorithm>

namespace brindlecap {

DiscSectors::Read DiscSectors::read(std::int64_t offset, std::span<std::byte> buffer)
{
    Read result;
    if ((result.error = m_files.openSource(m_source, m_identity)))
        return result;
    // Most of what a listing reads is one sector (a descriptor, an entry, a
    // small folder): asked for alone, a bad one costs one failing read, not
    // a bulk read and then the sector's own.
    auto read = static_cast<std::int64_t>(buffer.size()) <= sectorSize
                    ? m_files.scrapeAt(offset, buffer)
                    : m_files.readAt(offset, buffer);
    // Nothing was written through it, so closing can report nothing lost.
    m_files.close();
    result.bytes = read.bytes;
    result.unreadable = std::move(read.unreadable);
    // A stop asked for, or the disc gone, ends the listing where it is.
    if (read.bytes < static_cast<std::int64_t>(buffer.size()))
        result.error = read.error;
    return result;
}

bool DiscSectors::whole(const Read& read, std::int64_t offset, std::int64_t length)
{
    if (offset + length > read.bytes)
        return false;
    return std::none_of(read.unreadable.begin(), read.unreadable.end(), [&](const ByteRange& bad) {
        return bad.offset < offset + length && bad.end() > offset;
    });
}

} // namespace brindlecap
