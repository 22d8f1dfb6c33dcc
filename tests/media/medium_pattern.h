// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace brindlecap::testing {

// The test medium's sector: its smallest piece that fails.
inline constexpr std::int64_t sector = 2048;

// The byte that the test medium serves at a position of a file: never zero,
// so a zero in a copy is a chunk that was not read, and different from its
// neighbours, so a byte out of place shows.
constexpr std::byte mediumByte(std::uint64_t position, std::uint8_t seed)
{
    return static_cast<std::byte>(1 + (position * 31 + position / 4093 + seed) % 255);
}

} // namespace brindlecap::testing
