#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <system_error>

namespace brindlecap {

struct TransferResult
{
    std::int64_t bytes = 0; // how many bytes moved before the end or the error
    std::error_code error;  // empty unless the transfer stopped on an error
};

// Files at 1-based byte positions through one slot ("file number 1") that
// holds at most one open file. Nothing here throws: every failure is an error
// code, and a call on an empty slot fails with bad_file_descriptor.
class FileAccess
{
public:
    virtual ~FileAccess() = default;

    // The length of a regular file. Anything else (missing, unreadable, a
    // directory, a FIFO, a device) fails and must not block.
    virtual std::error_code length(const std::string& path, std::int64_t& length) const = 0;

    // Whether both paths name one file (same device and inode); false when
    // either cannot be examined.
    virtual bool sameFile(const std::string& first, const std::string& second) const = 0;

    // Opens an existing regular file read-only. Never creates, never blocks.
    virtual std::error_code openSource(const std::string& path) = 0;
    // Opens for writing, creating the file when missing; never truncates.
    virtual std::error_code openDestination(const std::string& path) = 0;

    // Fills the buffer from the position on. Reaching the end early is not an
    // error; the unfilled rest of the buffer is left as it was.
    virtual TransferResult readAt(std::int64_t position, std::span<std::byte> buffer) = 0;
    // Writes the whole buffer from the position on, growing the file as needed.
    virtual TransferResult writeAt(std::int64_t position, std::span<const std::byte> buffer) = 0;
    // Cuts the open file to the length when it is longer; never grows it.
    virtual std::error_code cutTo(std::int64_t length) = 0;
    // Closes the slot's file; an empty slot is left as it is. A written file
    // can report a late write error here, so the result matters.
    virtual std::error_code close() = 0;
};

} // namespace brindlecap
