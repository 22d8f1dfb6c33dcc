// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace brindlecap {

// No byte read, or one read under way, for this long: a stall, which makes
// the time left unknown.
inline constexpr double stalledSeconds = 2;

// Where a run stands, for its progress line.
struct ProgressSnapshot
{
    int pass = 1; // from 1, of `passes`
    int passes = 1;
    std::string passName;
    int file = 0; // from 1
    int files = 0;
    std::string name;
    std::int64_t rescued = 0; // bytes of all files that are on the copies
    std::int64_t total = 0;   // bytes of all files
    std::int64_t bad = 0;     // bytes found unreadable so far
    int badAreas = 0;
    double bytesPerSecond = 0; // lately
    bool rateSettled = false;  // it has held for a few seconds of steady reading
    double sinceGoodRead = 0;  // seconds since a read last gave a byte
    double waitingOnDrive = 0; // seconds the read under way has taken; 0: none
};

// "[pass 1 of 3: copying, file 2 of 5] name  12.3 MB of 700.0 MB rescued,
// 45.1 kB bad in 3 areas, 3.2 MB/s, 3 min left", cut to `width` columns. While reads fail or one
// hangs, it says so and the time left is unknown; until the rate has
// settled, the time left is not guessed at.
std::string progressLine(const ProgressSnapshot& progress, std::size_t width);

} // namespace brindlecap
