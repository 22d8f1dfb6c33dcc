// SPDX-License-Identifier: GPL-3.0-or-later
#include "byte_range.h"

#include <algorithm>

namespace brindlecap {

void appendRange(std::vector<ByteRange>& ranges, ByteRange range)
{
    if (range.length <= 0)
        return;
    if (!ranges.empty() && ranges.back().end() == range.offset)
        ranges.back().length += range.length;
    else
        ranges.push_back(range);
}

ByteRange partBefore(ByteRange range, std::int64_t limit)
{
    return {range.offset, std::clamp<std::int64_t>(limit - range.offset, 0, range.length)};
}

std::vector<ByteRange> rangesWithin(const std::vector<ByteRange>& ranges, std::int64_t from,
                                    std::int64_t length)
{
    std::vector<ByteRange> within;
    for (const auto& range : ranges) {
        const auto start = std::max(range.offset, from);
        const auto end = std::min(range.end(), from + length);
        if (start < end)
            within.push_back({start - from, end - start});
    }
    return within;
}

std::vector<ByteRange> gapsBetween(const std::vector<ByteRange>& ranges, std::int64_t length)
{
    std::vector<ByteRange> gaps;
    std::int64_t from = 0;
    for (const auto& range : ranges) {
        appendRange(gaps, {from, range.offset - from});
        from = std::max(from, range.end());
    }
    appendRange(gaps, {from, length - from});
    return gaps;
}

std::vector<ByteRange> rangesOutside(const std::vector<ByteRange>& ranges,
                                     const std::vector<ByteRange>& removed)
{
    // Both in order: one walk along each, so a map of a million bad areas
    // costs a million steps, not a million squared.
    std::vector<ByteRange> outside;
    std::size_t next = 0; // the first removed range that can still overlap
    for (const auto& range : ranges) {
        while (next < removed.size() && removed[next].end() <= range.offset)
            ++next;
        auto from = range.offset;
        for (auto at = next; at < removed.size() && removed[at].offset < range.end(); ++at) {
            appendRange(outside, {from, removed[at].offset - from});
            from = std::max(from, removed[at].end());
        }
        appendRange(outside, {from, range.end() - from});
    }
    return outside;
}

std::vector<ByteRange> unionOf(std::vector<ByteRange> first, const std::vector<ByteRange>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    std::sort(first.begin(), first.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
    std::vector<ByteRange> joined;
    for (const auto& range : first) {
        if (range.length <= 0)
            continue;
        if (!joined.empty() && range.offset <= joined.back().end())
            joined.back().length =
                std::max(joined.back().end(), range.end()) - joined.back().offset;
        else
            joined.push_back(range);
    }
    return joined;
}

std::string inclusiveText(ByteRange range)
{
    return std::to_string(range.offset) + "-" + std::to_string(range.end() - 1);
}

} // namespace brindlecap
