// SPDX-License-Identifier: GPL-3.0-or-later
// How much of a test medium's file a copy recovered: bytes equal to the
// medium's, readable bytes the copy lacks, and bytes that are neither the
// medium's nor zero (which no copy may hold).
//
// Usage: bench_medium_recovery COPY SIZE SEED [START END]...
// START END are the medium's unreadable ranges, [START, END) from 0.
// Prints one line of "key=value" pairs.
#include "medium_pattern.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <utility>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: bench_medium_recovery COPY SIZE SEED [START END]...\n");
        return 2;
    }
    const auto size = std::strtoull(argv[2], nullptr, 10);
    const auto seed = static_cast<std::uint8_t>(std::strtoul(argv[3], nullptr, 10));
    std::vector<bool> unreadable(size, false);
    std::uint64_t unreadableBytes = 0;
    for (int index = 4; index + 1 < argc; index += 2) {
        const auto start = std::strtoull(argv[index], nullptr, 10);
        const auto end = std::strtoull(argv[index + 1], nullptr, 10);
        for (auto position = start; position < end && position < size; ++position)
            if (!unreadable[position]) {
                unreadable[position] = true;
                ++unreadableBytes;
            }
    }

    std::ifstream copy(argv[1], std::ios::binary);
    if (!copy) {
        std::fprintf(stderr, "bench_medium_recovery: cannot open %s\n", argv[1]);
        return 2;
    }
    std::uint64_t recovered = 0, lost = 0, wrong = 0, position = 0;
    std::vector<char> block(1 << 20);
    while (position < size) {
        copy.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<std::uint64_t>(copy.gcount());
        if (got == 0)
            break;
        for (std::uint64_t offset = 0; offset < got && position < size; ++offset, ++position) {
            const auto byte = static_cast<std::byte>(block[offset]);
            if (byte == brindlecap::testing::mediumByte(position, seed))
                ++recovered;
            else if (byte != std::byte{0})
                ++wrong;
            else if (!unreadable[position])
                ++lost;
        }
    }
    // A copy shorter than the file lacks its tail.
    for (; position < size; ++position)
        if (!unreadable[position])
            ++lost;
    std::printf("recovered=%llu lost_readable=%llu wrong=%llu unreadable=%llu\n",
                static_cast<unsigned long long>(recovered), static_cast<unsigned long long>(lost),
                static_cast<unsigned long long>(wrong),
                static_cast<unsigned long long>(unreadableBytes));
    return 0;
}
