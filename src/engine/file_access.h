#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <system_error>

namespace brindlecap {

// Which file a name reached: one device and inode is one file, whatever name
// or link leads to it. A path is only a name; this is the file.
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// What the job records of a source when it starts on it.
struct SourceFacts
{
    std::int64_t length = 0;
    FileIdentity identity;
    unsigned permissions = 0; // the permission bits of its mode, for a new copy
};

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

    // The facts of a regular file that can be opened for reading. Anything
    // else (missing, unreadable, a directory, a FIFO, a device) fails, and
    // none of it may block.
    virtual std::error_code examineSource(const std::string& path, SourceFacts& facts) const = 0;

    // The file a path names now, through any symbolic links. A path that
    // names nothing fails with no_such_file_or_directory, and a symbolic link
    // to nothing with CopyError::danglingSymlink.
    virtual std::error_code identify(const std::string& path, FileIdentity& identity) const = 0;

    // Opens the source read-only, and only while the path still names
    // `expected` (else CopyError::sourceReplaced). Never creates, never
    // blocks on a FIFO or a device; waits, as cp does, for another program's
    // lease on the file to be let go.
    virtual std::error_code openSource(const std::string& path, const FileIdentity& expected) = 0;

    // Opens the destination for writing; never truncates. While `identity` is
    // empty, opens the regular file at the path or creates it with
    // `permissions` (less the umask, and writable by its owner so that a later
    // try can fill it in), never through a symbolic link to nothing, and then
    // sets `identity` to what it opened. Once set, opens only that file:
    // anything else at the path fails with CopyError::destinationReplaced and
    // is left untouched.
    virtual std::error_code openDestination(const std::string& path,
                                            std::optional<FileIdentity>& identity,
                                            unsigned permissions) = 0;

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
