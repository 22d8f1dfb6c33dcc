// SPDX-License-Identifier: GPL-3.0-or-later
#include "chunk_buffer.h"

#include <algorithm>

namespace brindlecap {

void sizeForChunk(ChunkBuffer& buffer, std::size_t length)
{
    // The same length again needs no allocation that could fail, and what
    // the buffer holds is overwritten by the read or by zeroUnread.
    if (buffer.size() == length)
        return;
    buffer.clear();
    buffer.resize(length);
}

void zeroUnread(ChunkBuffer& buffer, std::span<const ByteRange> unread)
{
    const auto size = std::ssize(buffer);
    for (const auto& range : unread) {
        const auto from = std::clamp<std::int64_t>(range.offset, 0, size);
        const auto to = std::clamp<std::int64_t>(range.end(), from, size);
        std::fill(buffer.begin() + from, buffer.begin() + to, std::byte{0});
    }
}

} // namespace brindlecap
