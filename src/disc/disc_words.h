// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace brindlecap {

// The unsigned number of `count` bytes (at most 4) from `at`, in the byte
// order a disc's record gives: little-endian, or big-endian (an M path
// table).
inline std::uint32_t wordAt(std::span<const std::byte> bytes, std::size_t at, std::size_t count,
                            bool bigEndian = false)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = (value << 8U) |
                std::to_integer<std::uint32_t>(bytes[at + (bigEndian ? i : count - 1 - i)]);
    return value;
}

} // namespace brindlecap
