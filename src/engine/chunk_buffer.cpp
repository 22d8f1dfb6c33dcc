#include "chunk_buffer.h"

#include <algorithm>

namespace brindlecap {

void sizeForChunk(ChunkBuffer& buffer, std::size_t length)
{
    buffer.clear();
    buffer.resize(length);
}

void zeroPastRead(ChunkBuffer& buffer, std::int64_t bytesRead)
{
    const auto filled =
        static_cast<std::size_t>(std::clamp<std::int64_t>(bytesRead, 0, std::ssize(buffer)));
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(filled), buffer.end(), std::byte{0});
}

} // namespace brindlecap
