// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brindlecap {

// A stretch of a file or of a buffer, counted in bytes from 0.
struct ByteRange
{
    std::int64_t offset = 0;
    std::int64_t length = 0;

    std::int64_t end() const { return offset + length; }
    friend bool operator==(const ByteRange&, const ByteRange&) = default;
};

// Appends a range to ranges kept in order, joining it to the last one when
// they touch; an empty range adds nothing.
void appendRange(std::vector<ByteRange>& ranges, ByteRange range);

// The part of a range that lies before `limit`, possibly empty.
ByteRange partBefore(ByteRange range, std::int64_t limit);

// The parts of `ranges` (in order) that lie in [from, from + length), moved
// by `from` so that they count from it.
std::vector<ByteRange> rangesWithin(const std::vector<ByteRange>& ranges, std::int64_t from,
                                    std::int64_t length);

// What [0, length) holds besides `ranges` (in order, within it).
std::vector<ByteRange> gapsBetween(const std::vector<ByteRange>& ranges, std::int64_t length);

// The parts of `ranges` outside `removed` (both in order).
std::vector<ByteRange> rangesOutside(const std::vector<ByteRange>& ranges,
                                     const std::vector<ByteRange>& removed);

// Both lists of ranges as one, in order, touching or overlapping ones joined.
std::vector<ByteRange> unionOf(std::vector<ByteRange> first, const std::vector<ByteRange>& second);

// "FIRST-LAST": a non-empty range by its first and last byte, both counted.
std::string inclusiveText(ByteRange range);

} // namespace brindlecap
