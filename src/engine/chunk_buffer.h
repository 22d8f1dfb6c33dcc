// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "byte_range.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace brindlecap {

// Leaves the elements a resize adds as the memory holds them, so that sizing
// a buffer costs nothing that the next read overwrites anyway.
template <typename T> class UninitialisedAllocator : public std::allocator<T>
{
public:
    using std::allocator<T>::allocator;

    template <typename U>
    void construct(U* place) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Arguments> void construct(U* place, Arguments&&... arguments)
    {
        ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
    }
};

// One chunk's bytes between the read and the write.
using ChunkBuffer = std::vector<std::byte, UninitialisedAllocator<std::byte>>;

// Gives the buffer the chunk's length. Emptied first where it must grow or
// shrink, so a failed allocation leaves no stale bytes to write. The bytes
// are undefined until the read and zeroUnread have run.
void sizeForChunk(ChunkBuffer& buffer, std::size_t length);

// Zeros the ranges the read could not fill. The buffer then holds exactly
// what a freshly zero-filled one would after the same read, and no byte of
// an earlier chunk or of a failed read is left in it.
void zeroUnread(ChunkBuffer& buffer, std::span<const ByteRange> unread);

} // namespace brindlecap
