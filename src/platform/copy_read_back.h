// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "byte_range.h"
#include "unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace brindlecap {

// The copy open for writing on a descriptor, read back before a chunk is
// written to see what an earlier copy left there: its data, or the zeros an
// earlier try left where it could not read (or a hole). Judged in pieces of
// 512 bytes, a disk's sector, aligned in the file, so a sector an earlier
// try lost is never taken for data. Where the copy cannot be read back,
// nothing is claimed: no claim is better than a false one.
class CopyReadBack final
{
public:
    explicit CopyReadBack(int fd) : m_fd(fd) {}

    // The parts of `range` (offsets in the file) that hold data.
    std::vector<ByteRange> dataIn(ByteRange range);
    // The pieces of `buffer`, about to be written at `offset`, that fill in
    // zeros the copy holds there now (below `length`, its length) with data:
    // what an earlier try could not read and this one did. Offsets in the
    // buffer. A piece whose new bytes are zeros too fills nothing in, so a
    // source's own runs of zeros never count as recovered.
    std::vector<ByteRange> zerosFilledIn(std::int64_t offset, std::span<const std::byte> buffer,
                                         std::int64_t length);

private:
    template <typename Visit> void readBack(ByteRange range, Visit visit);

    int m_fd;
    UniqueFd m_readable; // the same file, opened for reading once needed
    bool m_opened = false;
    std::vector<std::byte> m_bytes;
};

} // namespace brindlecap
