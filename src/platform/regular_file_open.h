// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"
#include "folder_tree.h"
#include "unique_fd.h"

#include <optional>
#include <span>
#include <string>
#include <sys/stat.h>
#include <system_error>

namespace brindlecap {

FileIdentity identityOf(const struct stat& status);

// What a source may be: a regular file, or for a disc read whole (a drive)
// a block device too.
enum class SourceKinds
{
    regularFile,
    regularFileOrBlockDevice,
};

// Opens the regular file at `place` with `flags` (O_RDONLY or O_WRONLY, never
// O_CREAT), without ever blocking on a FIFO put where a file was expected.
// When `expected` is given the file must be that one: else `replaced` is the
// error, and nothing has been read or written. Another program's lease on
// the file (Samba, NFS) is waited for, as cp waits for it, instead of
// failing with EWOULDBLOCK. `status` is the opened file's.
std::error_code openRegularFile(const NamePlace& place, int flags, const FileIdentity* expected,
                                std::error_code replaced, UniqueFd& opened, struct stat& status,
                                SourceKinds kinds = SourceKinds::regularFile);

// Opens the very file that a handle that can open nothing (O_PATH) holds,
// through /proc, with `flags`: what a name led to when it was looked at, not
// what it leads to now. Without O_NONBLOCK, another program's lease on the
// file is waited for.
std::error_code reopenHandle(int handle, int flags, UniqueFd& opened);

// Opens the destination's regular file at `place` for writing, and never any
// other file: the name is looked at first (lstat), and followed only by a
// handle that cannot open anything (O_PATH) where it is a symbolic link; in
// a tree, a link is refused (CopyError::destinationIsLink).
// With `identity` set, only that file is opened; else any regular file that
// is not `forbidden`, and `identity` is set to it. A name that leads nowhere
// gives no_such_file_or_directory, or CopyError::danglingSymlink for a link.
std::error_code openDestinationFile(const NamePlace& place, std::optional<FileIdentity>& identity,
                                    std::span<const FileIdentity> forbidden, UniqueFd& opened);

} // namespace brindlecap
