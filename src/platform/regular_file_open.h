#pragma once

#include "file_access.h"
#include "unique_fd.h"

#include <string>
#include <sys/stat.h>
#include <system_error>

namespace brindlecap {

FileIdentity identityOf(const struct stat& status);

// Opens the regular file at `path` with `flags` (O_RDONLY or O_WRONLY, never
// O_CREAT). The name is first resolved without opening anything, so a FIFO
// or a device put where a file was expected is never opened (it would block
// or rewind a tape), and when `expected` is given the file must be that one:
// else `replaced` is the error and the file is left untouched. The file
// itself is then opened without O_NONBLOCK, so another program's lease
// (Samba, NFS) is waited for as cp waits, instead of failing with
// EWOULDBLOCK.
std::error_code openRegularFile(const std::string& path, int flags, const FileIdentity* expected,
                                std::error_code replaced, UniqueFd& opened);

} // namespace brindlecap
