// SPDX-License-Identifier: GPL-3.0-or-later
#include "copy_read_back.h"

#include "regular_file_open.h"
#include "retried_call.h"

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

} // namespace

// Reads `range` of the copy back, and hands `visit` each piece of it
// (aligned in the file, cut at the range's ends) with the bytes the copy
// holds there. Stops where the copy cannot be read back.
template <typename Visit> void CopyReadBack::readBack(ByteRange range, Visit visit)
{
    if (range.length <= 0)
        return;
    // The copy is open for writing only; the same file again, for reading.
    if (!m_opened) {
        m_opened = true;
        if (reopenHandle(m_fd, O_RDONLY | O_NONBLOCK, m_readable))
            return;
        m_bytes.resize(static_cast<std::size_t>(readLength));
    }
    if (!m_readable.isOpen())
        return;
    for (auto at = range.offset; at < range.end();) {
        const auto end = std::min(range.end(), (at / readLength + 1) * readLength);
        const auto want = static_cast<std::size_t>(end - at);
        const auto got =
            retrying([&] { return ::pread(m_readable.get(), m_bytes.data(), want, at); });
        if (got <= 0)
            return; // an error, or the copy shorter now: nothing said past here
        for (std::int64_t from = at; from < at + got;) {
            const auto to = std::min(at + got, (from / piece + 1) * piece);
            visit(ByteRange{from, to - from},
                  std::span<const std::byte>(m_bytes).subspan(static_cast<std::size_t>(from - at),
                                                              static_cast<std::size_t>(to - from)));
            from = to;
        }
        at += got;
    }
}

std::vector<ByteRange> CopyReadBack::dataIn(ByteRange range)
{
    std::vector<ByteRange> data;
    readBack(range, [&](ByteRange part, std::span<const std::byte> held) {
        if (anyData(held))
            appendRange(data, part);
    });
    return data;
}

std::vector<ByteRange> CopyReadBack::zerosFilledIn(std::int64_t offset,
                                                   std::span<const std::byte> buffer,
                                                   std::int64_t length)
{
    std::vector<ByteRange> filled;
    const auto inFile = partBefore({offset, static_cast<std::int64_t>(buffer.size())}, length);
    readBack(inFile, [&](ByteRange part, std::span<const std::byte> held) {
        const auto bytes = buffer.subspan(static_cast<std::size_t>(part.offset - offset),
                                          static_cast<std::size_t>(part.length));
        if (!anyData(held) && anyData(bytes))
            appendRange(filled, {part.offset - offset, part.length});
    });
    return filled;
}

} // namespace brindlecap
