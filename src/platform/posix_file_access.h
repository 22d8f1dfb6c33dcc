#pragma once

#include "file_access.h"
#include "sector_salvage.h"
#include "unique_fd.h"

namespace brindlecap {

// File access on Linux with 64-bit positions.
class PosixFileAccess final : public FileAccess
{
public:
    std::error_code examineSource(const std::string& path, SourceFacts& facts) const override;
    std::error_code identify(const std::string& path, FileIdentity& identity) const override;
    std::error_code openSource(const std::string& path, const FileIdentity& expected) override;
    std::error_code openDestination(const std::string& path, std::optional<FileIdentity>& identity,
                                    unsigned permissions,
                                    std::span<const FileIdentity> forbidden) override;
    ReadResult readAt(std::int64_t offset, std::span<std::byte> buffer) override;
    WriteResult writeAt(std::int64_t offset, std::span<const std::byte> buffer,
                        std::span<const ByteRange> skip) override;
    std::error_code cutTo(std::int64_t length) override;
    std::error_code close() override;

private:
    UniqueFd m_slot;
    // What reading the last chunk of a source tells about its next chunk.
    struct LastChunk
    {
        FileIdentity file;
        OpenBadRun run;               // a bad stretch ran to its end
        std::int64_t damagedEnd = -1; // it had unreadable bytes, and ended here
    } m_last;
};

} // namespace brindlecap
