#pragma once

#include "file_access.h"
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
                                    unsigned permissions) override;
    TransferResult readAt(std::int64_t position, std::span<std::byte> buffer) override;
    TransferResult writeAt(std::int64_t position, std::span<const std::byte> buffer) override;
    std::error_code cutTo(std::int64_t length) override;
    std::error_code close() override;

private:
    UniqueFd m_slot;
};

} // namespace brindlecap
