// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"
#include "progress_meter.h"

namespace brindlecap {

// File access that tells a read clock when each open and read of a source
// starts and ends, so that the progress line can say the drive is being
// waited on.
class MeteredFileAccess final : public FileAccess
{
public:
    MeteredFileAccess(FileAccess& files, ReadClock& clock) : m_files(files), m_clock(clock) {}

    std::error_code examineSource(const std::string& path, SourceFacts& facts) const override;
    std::error_code identify(const std::string& path, FileIdentity& identity) const override;
    std::error_code openSource(const std::string& path, const FileIdentity& expected) override;
    std::error_code openDestination(const std::string& path, std::optional<FileIdentity>& identity,
                                    unsigned permissions,
                                    std::span<const FileIdentity> forbidden) override;
    ReadResult readAt(std::int64_t offset, std::span<std::byte> buffer) override;
    WriteResult writeAt(std::int64_t offset, std::span<const std::byte> buffer,
                        std::span<const ByteRange> skip) override;
    std::int64_t sectorSize() override;
    TransferResult readSectors(std::int64_t offset, std::span<std::byte> buffer) override;
    std::error_code cutTo(std::int64_t length) override;
    std::error_code close() override;

private:
    FileAccess& m_files;
    ReadClock& m_clock;
};

} // namespace brindlecap
