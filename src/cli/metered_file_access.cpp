// SPDX-License-Identifier: GPL-3.0-or-later
#include "metered_file_access.h"

namespace brindlecap {

std::error_code MeteredFileAccess::examineSource(const std::string& path, SourceFacts& facts) const
{
    return m_files.examineSource(path, facts);
}

std::error_code MeteredFileAccess::identify(const std::string& path, FileIdentity& identity) const
{
    return m_files.identify(path, identity);
}

std::error_code MeteredFileAccess::openSource(const std::string& path, const FileIdentity& expected)
{
    // A drive spinning up, or a lease being waited for, blocks here.
    m_clock.started();
    const auto error = m_files.openSource(path, expected);
    m_clock.ended(false);
    return error;
}

std::error_code MeteredFileAccess::openDestination(const std::string& path,
                                                   std::optional<FileIdentity>& identity,
                                                   unsigned permissions,
                                                   std::span<const FileIdentity> forbidden)
{
    return m_files.openDestination(path, identity, permissions, forbidden);
}

ReadResult MeteredFileAccess::readAt(std::int64_t offset, std::span<std::byte> buffer)
{
    m_clock.started();
    auto result = m_files.readAt(offset, buffer);
    std::int64_t unread = 0;
    for (const auto& range : result.unreadable)
        unread += range.length;
    m_clock.ended(result.bytes > unread);
    return result;
}

WriteResult MeteredFileAccess::writeAt(std::int64_t offset, std::span<const std::byte> buffer,
                                       std::span<const ByteRange> skip)
{
    return m_files.writeAt(offset, buffer, skip);
}

std::int64_t MeteredFileAccess::sectorSize()
{
    return m_files.sectorSize();
}

TransferResult MeteredFileAccess::readSectors(std::int64_t offset, std::span<std::byte> buffer)
{
    m_clock.started();
    const auto result = m_files.readSectors(offset, buffer);
    m_clock.ended(result.bytes > 0);
    return result;
}

std::error_code MeteredFileAccess::cutTo(std::int64_t length)
{
    return m_files.cutTo(length);
}

std::error_code MeteredFileAccess::close()
{
    return m_files.close();
}

} // namespace brindlecap
