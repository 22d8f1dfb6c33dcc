#pragma once

#include "file_access.h"
#include "unique_fd.h"

namespace brindlecap {

// File access on a POSIX system with 64-bit positions.
class PosixFileAccess final : public FileAccess
{
public:
    std::error_code length(const std::string& path, std::int64_t& length) const override;
    bool sameFile(const std::string& first, const std::string& second) const override;
    std::error_code openSource(const std::string& path) override;
    std::error_code openDestination(const std::string& path) override;
    TransferResult readAt(std::int64_t position, std::span<std::byte> buffer) override;
    TransferResult writeAt(std::int64_t position, std::span<const std::byte> buffer) override;
    std::error_code cutTo(std::int64_t length) override;
    std::error_code close() override;

private:
    std::error_code openRegular(const std::string& path, int flags);

    UniqueFd m_slot;
};

} // namespace brindlecap
