// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace brindlecap {

// The sector of the medium under the file open on `fd`, where the system
// says it: 2048 bytes on a disc's own file system (iso9660, udf), else the
// logical block size of the block device that holds the file system (of the
// whole disk, for a partition). 0 where nothing says it: a file system
// through FUSE or the network, a disc image on another disk's file.
std::int64_t mediumSector(int fd);

} // namespace brindlecap
