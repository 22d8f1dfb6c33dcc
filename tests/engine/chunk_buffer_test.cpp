// SPDX-License-Identifier: GPL-3.0-or-later
#include "chunk_buffer.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace brindlecap {
namespace {

constexpr auto earlier = std::byte{0xA5}; // what an earlier chunk left
constexpr auto arrived = std::byte{0x3C}; // what this chunk's read brought

// A buffer that held a longer chunk, sized for this one, then read into: the
// read fills `filled` bytes and, failing, scribbles over the rest, as a
// failed pread may.
ChunkBuffer afterRead(std::size_t length, std::int64_t filled)
{
    ChunkBuffer buffer(length + 64, earlier);
    sizeForChunk(buffer, length);
    std::fill(buffer.begin(), buffer.end(), std::byte{0xEE});
    std::fill_n(buffer.begin(), std::clamp<std::int64_t>(filled, 0, std::ssize(buffer)), arrived);
    const ByteRange rest{filled, static_cast<std::int64_t>(length) - filled};
    zeroUnread(buffer, {&rest, 1});
    return buffer;
}

TEST(ChunkBufferTest, HoldsTheReadBytesThenZerosAsAFreshZeroedBufferWould)
{
    for (const std::int64_t filled : {0, 1, 4095, 4096, 4097, 32767, 32768}) {
        SCOPED_TRACE(filled);
        const auto buffer = afterRead(32768, filled);
        ASSERT_EQ(buffer.size(), 32768u);
        EXPECT_EQ(std::count(buffer.begin(), buffer.begin() + filled, arrived), filled);
        EXPECT_EQ(std::count(buffer.begin() + filled, buffer.end(), std::byte{0}), 32768 - filled);
    }
}

TEST(ChunkBufferTest, AReadCountOutsideTheBufferZerosAllOrNothing)
{
    const auto none = afterRead(4096, -5);
    EXPECT_EQ(std::count(none.begin(), none.end(), std::byte{0}), 4096);
    const auto all = afterRead(4096, 10'000);
    EXPECT_EQ(std::count(all.begin(), all.end(), arrived), 4096);
}

TEST(ChunkBufferTest, GrowingPastAnEarlierChunkStillZerosTheNewBytes)
{
    ChunkBuffer buffer(100, earlier);
    sizeForChunk(buffer, 1 << 20);
    std::fill_n(buffer.begin(), 10, arrived);
    const ByteRange rest{10, (1 << 20) - 10};
    zeroUnread(buffer, {&rest, 1});
    EXPECT_EQ(std::count(buffer.begin() + 10, buffer.end(), std::byte{0}), (1 << 20) - 10);
}

TEST(ChunkBufferTest, OnlyTheUnreadStretchesBetweenReadOnesBecomeZeros)
{
    ChunkBuffer buffer(8192, std::byte{0xEE});
    const std::vector<ByteRange> unread{{0, 2048}, {4096, 2048}, {8000, 500}};
    zeroUnread(buffer, unread);
    EXPECT_EQ(std::count(buffer.begin(), buffer.begin() + 2048, std::byte{0}), 2048);
    EXPECT_EQ(std::count(buffer.begin() + 2048, buffer.begin() + 4096, std::byte{0xEE}), 2048);
    EXPECT_EQ(std::count(buffer.begin() + 4096, buffer.begin() + 6144, std::byte{0}), 2048);
    EXPECT_EQ(std::count(buffer.begin() + 6144, buffer.begin() + 8000, std::byte{0xEE}), 1856);
    EXPECT_EQ(std::count(buffer.begin() + 8000, buffer.end(), std::byte{0}), 192);
}

} // namespace
} // namespace brindlecap
