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

std::string inclusiveText(ByteRange range)
{
    return std::to_string(range.offset) + "-" + std::to_string(range.end() - 1);
}

} // namespace brindlecap
