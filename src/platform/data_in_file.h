// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "byte_range.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace brindlecap {

// The parts of `range` (offsets in the file open for writing on `fd`) that
// hold data rather than zeros: what an earlier copy rescued there, as
// against the zeros an earlier try left where it could not read (or a hole).
// Judged in pieces of 512 bytes, a disk's sector, aligned in the file, so a
// sector an earlier try lost is never taken for data. Where the file cannot
// be read back, nothing counts as data: no claim is better than a false one.
std::vector<ByteRange> dataIn(int fd, ByteRange range);
// The pieces of `buffer`, about to be written at `offset`, that fill in
// zeros the file holds there now (below `length`, its length) with data:
// what an earlier try could not read and this one did. Offsets in the
// buffer. A piece whose new bytes are zeros too fills nothing in, so a
// source's own runs of zeros never count as recovered.
std::vector<ByteRange> zerosFilledIn(int fd, std::int64_t offset, std::span<const std::byte> buffer,
                                     std::int64_t length);

} // namespace brindlecap
