// SPDX-License-Identifier: GPL-3.0-or-later
// Any text at all as a rescue map: the parser must not crash or overflow,
// and a map it takes must cover its file from 0 in order, count its bytes
// right, read back from its own text, and stay whole when ranges taken from
// the input are marked on it.
#include "rescue_map.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

using brindlecap::RescueMap;

void check(bool holds)
{
    if (!holds)
        std::abort();
}

void checkWhole(const RescueMap& map)
{
    std::int64_t next = 0;
    std::int64_t finished = 0;
    for (const auto& block : map.blocks()) {
        check(block.offset == next && block.length > 0);
        next += block.length;
        if (block.status == RescueMap::Status::finished)
            finished += block.length;
    }
    check(next == map.size());
    check(finished == map.bytesWith(RescueMap::Status::finished));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string why;
    auto map = RescueMap::parse(text, why);
    if (!map) {
        check(!why.empty());
        return 0;
    }
    checkWhole(*map);
    const auto again = RescueMap::parse(map->text("fuzz", "then", "now"), why);
    check(again && again->blocks() == map->blocks());

    // The input's bytes, eight at a time, as places to mark.
    const char statuses[] = {'?', '/', '-', '+'};
    for (std::size_t at = 0; at + 8 <= size && map->size() > 0; at += 8) {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
        std::memcpy(&offset, data + at, 4);
        std::memcpy(&length, data + at + 4, 4);
        const auto fileSize = static_cast<std::uint64_t>(map->size());
        map->mark({static_cast<std::int64_t>(offset % fileSize),
                   static_cast<std::int64_t>(length % (fileSize + 1))},
                  static_cast<RescueMap::Status>(statuses[data[at] % 4]));
    }
    checkWhole(*map);
    return 0;
}
