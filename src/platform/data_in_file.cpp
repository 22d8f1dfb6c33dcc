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

} // namespace

std::vector<ByteRange> dataIn(int fd, ByteRange range)
{
    std::vector<ByteRange> data;
    if (range.length <= 0)
        return data;
    // The copy is open for writing only; the same file again, for reading.
    UniqueFd readable;
    if (reopenHandle(fd, O_RDONLY | O_NONBLOCK, readable))
        return data;
    std::vector<char> bytes(static_cast<std::size_t>(readLength));
    for (auto at = range.offset; at < range.end();) {
        // From `at` to the end of its read, whole pieces but at the range's ends.
        const auto end = std::min(range.end(), (at / readLength + 1) * readLength);
        const auto want = static_cast<std::size_t>(end - at);
        const auto got = retrying([&] { return ::pread(readable.get(), bytes.data(), want, at); });
        if (got <= 0)
            return data; // an error, or the file shorter now: no claim past here
        for (std::int64_t from = at; from < at + got;) {
            const auto to = std::min(at + got, (from / piece + 1) * piece);
            const auto first = bytes.begin() + (from - at);
            if (std::any_of(first, first + (to - from), [](char byte) { return byte != 0; }))
                appendRange(data, {from, to - from});
            from = to;
        }
        at += got;
    }
    return data;
}

} // namespace brindlecap
