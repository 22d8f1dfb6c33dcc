// SPDX-License-Identifier: GPL-3.0-or-later
#include "data_in_file.h"

#include "descriptor_reads.h"
#include "regular_file_open.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace brindlecap {

namespace {

constexpr std::int64_t piece = 512;
constexpr std::int64_t readLength = 64 * 1024; // a multiple of `piece`

bool anyData(std::span<const std::byte> bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](std::byte b) { return b != std::byte{0}; });
}

// Reads `range` of the file open for writing on `fd` back, and hands `visit`
// each piece of it (aligned in the file, cut at the range's ends) with the
// bytes the file holds there. Stops where the file cannot be read back.
template <typename Visit> void readBack(int fd, ByteRange range, Visit visit)
{
    if (range.length <= 0)
        return;
    // The copy is open for writing only; the same file again, for reading.
    UniqueFd readable;
    if (reopenHandle(fd, O_RDONLY | O_NONBLOCK, readable))
        return;
    std::vector<std::byte> bytes(static_cast<std::size_t>(readLength));
    for (auto at = range.offset; at < range.end();) {
        const auto end = std::min(range.end(), (at / readLength + 1) * readLength);
        const auto want = static_cast<std::size_t>(end - at);
        const auto got = retrying([&] { return ::pread(readable.get(), bytes.data(), want, at); });
        if (got <= 0)
            return; // an error, or the file shorter now: nothing said past here
        for (std::int64_t from = at; from < at + got;) {
            const auto to = std::min(at + got, (from / piece + 1) * piece);
            visit(ByteRange{from, to - from},
                  std::span<const std::byte>(bytes).subspan(static_cast<std::size_t>(from - at),
                                                            static_cast<std::size_t>(to - from)));
            from = to;
        }
        at += got;
    }
}

} // namespace

std::vector<ByteRange> dataIn(int fd, ByteRange range)
{
    std::vector<ByteRange> data;
    readBack(fd, range, [&](ByteRange part, std::span<const std::byte> held) {
        if (anyData(held))
            appendRange(data, part);
    });
    return data;
}

std::vector<ByteRange> zerosFilledIn(int fd, std::int64_t offset, std::span<const std::byte> buffer,
                                     std::int64_t length)
{
    std::vector<ByteRange> filled;
    const auto inFile = partBefore({offset, static_cast<std::int64_t>(buffer.size())}, length);
    readBack(fd, inFile, [&](ByteRange part, std::span<const std::byte> held) {
        const auto bytes = buffer.subspan(static_cast<std::size_t>(part.offset - offset),
                                          static_cast<std::size_t>(part.length));
        if (!anyData(held) && anyData(bytes))
            appendRange(filled, {part.offset - offset, part.length});
    });
    return filled;
}

} // namespace brindlecap
