// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "byte_range.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace brindlecap {

// Which file a name reached: one device and inode is one file, whatever name
// or link leads to it. A path is only a name; this is the file.
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    // Ordered, so that the tens of thousands of a job's sources are looked
    // up by halving, not one by one for each file.
    // NOLINTNEXTLINE(modernize-use-nullptr): the 0 is in the defaulted <=>
    friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

// A file's time stamp, as the system keeps it.
struct FileTime
{
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;

    friend bool operator==(const FileTime&, const FileTime&) = default;
};

// What the job records of a source when it starts on it.
struct SourceFacts
{
    std::int64_t length = 0;
    FileIdentity identity;
    unsigned permissions = 0; // the permission bits of its mode, for a new copy
    FileTime modified;        // for the finished copy, as cp -p keeps it
};

// What tells whether a copy changed since it was last looked at: which file
// it is, its size, and its modification and change times. Whoever writes to
// the file, or sets its times back, moves its change time.
struct CopyFacts
{
    FileIdentity identity;
    std::int64_t size = 0;
    FileTime modified;
    FileTime changed;

    friend bool operator==(const CopyFacts&, const CopyFacts&) = default;
};

struct TransferResult
{
    std::int64_t bytes = 0; // how many bytes moved before the end or the error
    std::error_code error;  // empty unless the transfer stopped on an error
};

struct ReadResult
{
    // How far the read got: the whole buffer, or up to the end of the file,
    // or up to where it had to stop (the medium gone).
    std::int64_t bytes = 0;
    // What could not be read before `bytes`, in order, as offsets from the
    // buffer's start; the buffer's bytes there are undefined.
    std::vector<ByteRange> unreadable;
    // The parts of `unreadable` never read on their own: the inside of a
    // long bad stretch, taken to be bad like its ends.
    std::vector<ByteRange> presumed;
    // What stopped the read early (operation_canceled: a stop was asked
    // for, and the rest was not tried), else the first read error met.
    std::error_code error;
};

struct WriteResult
{
    std::int64_t bytes = 0; // how much of the buffer was dealt with before an error
    // The parts of the skipped ranges where the file held data (an earlier
    // copy's, not zeros) and keeps it; offsets in the buffer, in order.
    std::vector<ByteRange> keptData;
    // What was written where the file held zeros: what an earlier try had
    // lost and this one recovered; offsets in the buffer, in order.
    std::vector<ByteRange> zerosFilled;
    std::error_code error;
};

// Files at byte offsets from 0 through one slot ("file number 1") that holds
// at most one open file. Nothing here throws but std::bad_alloc: every
// failure is an error code, and a call on an empty slot fails with
// bad_file_descriptor.
class FileAccess
{
public:
    virtual ~FileAccess() = default;

    // The facts of a regular file that can be opened for reading. Anything
    // else (missing, unreadable, a directory, a FIFO, a device) fails, and
    // none of it may block.
    virtual std::error_code examineSource(const std::string& path, SourceFacts& facts) const = 0;

    // The file a path names now, through any symbolic links. A path that
    // names nothing fails with no_such_file_or_directory, a symbolic link
    // to nothing with CopyError::danglingSymlink, and a link where a file
    // access writes through none with CopyError::destinationIsLink.
    virtual std::error_code identify(const std::string& path, FileIdentity& identity) const = 0;

    // Opens the source read-only, and only while the path still names
    // `expected` (else CopyError::sourceReplaced). Never creates, never
    // blocks on a FIFO or a device; waits, as cp does, for another program's
    // lease on the file to be let go.
    virtual std::error_code openSource(const std::string& path, const FileIdentity& expected) = 0;

    // Opens the destination for writing; never truncates, and never opens any
    // other file for writing. While `identity` is empty, opens the regular
    // file at the path or creates it with `permissions` (less the umask, and
    // writable by its owner so that a later try can fill it in), never
    // through a symbolic link to nothing, and sets `identity` to what it
    // opened; a file among `forbidden` (the job's sources, in order) is refused with
    // CopyError::destinationIsQueuedSource and `identity` names it. Once
    // `identity` is set, opens only that file: anything else at the path
    // fails with CopyError::destinationReplaced and is left untouched.
    virtual std::error_code openDestination(const std::string& path,
                                            std::optional<FileIdentity>& identity,
                                            unsigned permissions,
                                            std::span<const FileIdentity> forbidden) = 0;

    // Fills the buffer from the offset on with everything the medium gives:
    // a read error does not end it, the unreadable stretches are reported and
    // the reading goes on after them. Reaching the end of the file early is
    // not an error.
    virtual ReadResult readAt(std::int64_t offset, std::span<std::byte> buffer) = 0;
    // Fills the buffer as readAt does, but looks only for the edges of a bad
    // stretch: the sectors inside it are presumed bad without a read, for a
    // later pass to scrape (ReadResult::presumed).
    virtual ReadResult skimAt(std::int64_t offset, std::span<std::byte> buffer) = 0;
    // Fills the buffer as readAt does, but asks for each sector on its own
    // and presumes nothing: what a pass over stretches found bad before
    // reads, so that every sector of them is tried once more.
    virtual ReadResult scrapeAt(std::int64_t offset, std::span<std::byte> buffer) = 0;
    // Writes the buffer from the offset on, growing the file as needed, but
    // for the `skip` ranges (offsets in the buffer, in order): where the file
    // has bytes there they stay, and where it ends before them it is grown
    // over them so they read as zeros.
    virtual WriteResult writeAt(std::int64_t offset, std::span<const std::byte> buffer,
                                std::span<const ByteRange> skip) = 0;

    // The facts of a copy written earlier, looked at again through its name:
    // only while the name leads to `written` (else
    // CopyError::destinationReplaced), and never opening anything else.
    virtual std::error_code examineCopy(const std::string& path, const FileIdentity& written,
                                        CopyFacts& facts) const = 0;
    // Puts what was written to that copy on the disk, and reports a
    // write-back that failed since it was written.
    virtual std::error_code syncCopy(const std::string& path, const FileIdentity& written) = 0;

    // Cuts the open file to the length when it is longer; never grows it.
    virtual std::error_code cutTo(std::int64_t length) = 0;
    // Gives the open file this modification time.
    virtual std::error_code setModificationTime(FileTime time) = 0;
    // Closes the slot's file; an empty slot is left as it is. A written file
    // can report a late write error here, so the result matters.
    virtual std::error_code close() = 0;
};

} // namespace brindlecap
