// SPDX-License-Identifier: GPL-3.0-or-later
#include "sector_salvage.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace brindlecap {
namespace {

constexpr std::int64_t sector = 2048;

std::byte byteAt(std::int64_t offset)
{
    return static_cast<std::byte>((offset * 131 + offset / 4096) & 0xFF);
}

// A disc in memory, read one request at a time as a drive serves it: a read
// gives the bytes up to the first bad sector it reaches, then fails there
// (or, with `shortReads`, stops there without an error, as the page cache
// does when the bytes before a bad page came in; a read that starts on the
// bad sector fails). A marginal sector fails the first two reads that reach
// it: the one the drive stopped short at, and the next that starts on it.
class MemoryDisc final : public SectorProbe
{
public:
    std::int64_t size = 0;
    std::set<std::int64_t> bad;      // sectors that never read
    std::set<std::int64_t> marginal; // sectors that fail their first two reads
    bool shortReads = false;
    bool failsWhole = false; // a request that reaches a bad sector gives nothing (O_DIRECT)
    int goneAfter = -1;      // reads that reach the disc before it is taken out
    int failing = 0;
    std::vector<ByteRange> reads;

    TransferResult readOnce(std::int64_t offset, std::span<std::byte> into) override
    {
        reads.push_back({offset, static_cast<std::int64_t>(into.size())});
        if (goneAfter >= 0 && static_cast<int>(reads.size()) > goneAfter) {
            ++failing;
            return {0, std::error_code(ENOMEDIUM, std::generic_category())};
        }
        const auto end =
            std::max(offset, std::min(size, offset + static_cast<std::int64_t>(into.size())));
        auto at = offset;
        for (; at < end; at = (at / sector + 1) * sector) {
            const auto index = at / sector;
            if (bad.count(index) != 0 || (marginal.count(index) != 0 && ++triesOf[index] <= 2))
                break;
        }
        at = std::min(at, end);
        if (failsWhole && at < end) {
            ++failing;
            return {0, std::error_code(EIO, std::generic_category())};
        }
        for (auto byte = offset; byte < at; ++byte)
            into[static_cast<std::size_t>(byte - offset)] = byteAt(byte);
        if (at == end || (shortReads && at > offset))
            return {at - offset, {}};
        ++failing;
        return {at - offset, std::error_code(EIO, std::generic_category())};
    }
    std::int64_t grain() override { return sector; }

private:
    std::map<std::int64_t, int> triesOf; // of each marginal sector
};

std::set<std::int64_t> sectorsFrom(std::int64_t first, std::int64_t count)
{
    std::set<std::int64_t> sectors;
    for (auto index = first; index < first + count; ++index)
        sectors.insert(index);
    return sectors;
}

// Each shape of damage in one buffer: what is reported unreadable (exactly,
// to the sector), what of it was presumed bad without a read of its own,
// how far the buffer got and why it stopped, and at most how many reads
// failed. Every byte outside the unreadable ranges holds the disc's bytes.
TEST(SectorSalvageTest, EachShapeOfDamageIsFoundToTheSectorForFewFailingReads)
{
    constexpr std::int64_t mib = 1 << 20;
    const struct
    {
        const char* name;
        std::int64_t size;
        std::int64_t length; // of the buffer, read from 0
        std::set<std::int64_t> bad = {};
        std::set<std::int64_t> marginal = {};
        bool shortReads = false;
        bool failsWhole = false;
        int goneAfter = -1;
        OpenBadRun carried = {};
        bool stopAsked = false;
        std::vector<ByteRange> unreadable = {};
        std::int64_t presumedBytes = 0; // -1: some, not counted
        std::int64_t bytes = -1;        // -1: the whole buffer
        int error = 0;                  // errno: what stopped it, else the first read error
        int maxFailing = 0;
        OpenBadRun runAfter = {};
    } cases[] = {
        {.name = "healthy", .size = mib, .length = 256 * 1024},
        {.name = "one bad sector",
         .size = mib,
         .length = 256 * 1024,
         .bad = {10},
         .unreadable = {{10 * sector, sector}},
         .error = EIO,
         .maxFailing = 2},
        {.name = "one bad sector, on a drive that fails the whole request",
         .size = mib,
         .length = 256 * 1024,
         .bad = {10},
         .failsWhole = true,
         .unreadable = {{10 * sector, sector}},
         .error = EIO,
         .maxFailing = 2},
        {.name = "a short run read sector by sector",
         .size = mib,
         .length = 256 * 1024,
         .bad = sectorsFrom(10, 5),
         .unreadable = {{10 * sector, 5 * sector}},
         .error = EIO,
         .maxFailing = 6},
        {.name = "a long dead stretch: its edges exact, its inside presumed",
         .size = 8 * mib,
         .length = 4 * mib,
         .bad = sectorsFrom(10, 1000),
         .unreadable = {{10 * sector, 1000 * sector}},
         .presumedBytes = -1,
         .error = EIO,
         .maxFailing = 16 + 2 * 10 + 2},
        {.name = "a stretch past the buffer's end is carried on",
         .size = mib,
         .length = 256 * 1024,
         .bad = sectorsFrom(100, 100),
         .unreadable = {{100 * sector, 28 * sector}},
         .presumedBytes = -1,
         .error = EIO,
         .maxFailing = 16 + 2 * 5 + 2,
         .runAfter = {256 * 1024, 28}},
        {.name = "a buffer inside a carried stretch starts with one sector",
         .size = mib,
         .length = 256 * 1024,
         .bad = sectorsFrom(0, 20),
         .carried = {0, 30},
         .unreadable = {{0, 20 * sector}},
         .presumedBytes = -1,
         .error = EIO,
         .maxFailing = 16 + 2 * 6},
        {.name = "the file ends inside the buffer",
         .size = 100'000,
         .length = 256 * 1024,
         .bytes = 100'000},
        // The job's last buffer of a file ends where the file does.
        {.name = "a bad sector cut short by the file's end",
         .size = 20 * sector + 100,
         .length = 20 * sector + 100,
         .bad = {20},
         .unreadable = {{20 * sector, 100}},
         .error = EIO,
         .maxFailing = 2,
         .runAfter = {20 * sector + 100, 1}},
        {.name = "a marginal sector after a short read reads on a try of its own",
         .size = mib,
         .length = 256 * 1024,
         .marginal = {10},
         .shortReads = true,
         .error = EIO,
         .maxFailing = 1},
        {.name = "a marginal sector met by a failing read stays bad this time",
         .size = mib,
         .length = 256 * 1024,
         .marginal = {10},
         .unreadable = {{10 * sector, sector}},
         .error = EIO,
         .maxFailing = 2},
        {.name = "the disc taken out stops the buffer where it stood",
         .size = mib,
         .length = 256 * 1024,
         .bad = {10},
         .goneAfter = 1,
         .bytes = 10 * sector,
         .error = ENOMEDIUM,
         .maxFailing = 2},
        {.name = "a stop asked for ends the buffer after its first read",
         .size = mib,
         .length = 256 * 1024,
         .bad = {10},
         .stopAsked = true,
         .bytes = 10 * sector,
         .error = ECANCELED,
         .maxFailing = 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryDisc disc;
        disc.size = c.size;
        disc.bad = c.bad;
        disc.marginal = c.marginal;
        disc.shortReads = c.shortReads;
        disc.failsWhole = c.failsWhole;
        disc.goneAfter = c.goneAfter;
        std::vector<std::byte> buffer(static_cast<std::size_t>(c.length));
        auto run = c.carried;
        const auto result = salvageRead(disc, disc, 0, buffer, run, [&] { return c.stopAsked; });

        EXPECT_EQ(result.bytes, c.bytes < 0 ? c.length : c.bytes);
        EXPECT_EQ(result.unreadable, c.unreadable);
        EXPECT_EQ(result.error, c.error == 0 ? std::error_code()
                                             : std::error_code(c.error, std::generic_category()))
            << result.error.message();
        EXPECT_LE(disc.failing, c.maxFailing);
        std::int64_t presumed = 0;
        for (const auto& range : result.presumed)
            presumed += range.length;
        if (c.presumedBytes < 0)
            EXPECT_GT(presumed, 0);
        else
            EXPECT_EQ(presumed, c.presumedBytes);
        EXPECT_EQ(run.end, c.runAfter.end);
        EXPECT_EQ(run.grains, c.runAfter.grains);
        std::int64_t wrong = 0;
        for (std::int64_t at = 0; at < result.bytes; ++at) {
            const bool unreadable =
                std::any_of(c.unreadable.begin(), c.unreadable.end(), [&](const ByteRange& range) {
                    return at >= range.offset && at < range.end();
                });
            wrong += !unreadable && buffer[static_cast<std::size_t>(at)] != byteAt(at);
        }
        EXPECT_EQ(wrong, 0);
        if (c.carried.grains > 0) {
            ASSERT_FALSE(disc.reads.empty());
            EXPECT_EQ(disc.reads.front().length, sector) << "a bulk read would fail on it first";
        }
    }
}

} // namespace
} // namespace brindlecap
