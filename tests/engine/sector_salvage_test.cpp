// SPDX-License-Identifier: GPL-3.0-or-later
#include "sector_salvage.h"
#include "sector_scrape.h"

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

// The damage of a disc in memory. A read gives the bytes up to the first
// bad sector it reaches, then fails there (`failsWhole`: gives nothing, as
// a drive fails a whole O_DIRECT request; `shortReads`: stops there without
// an error, as the page cache gives the pages before a bad one, and a read
// that starts on it fails). A marginal sector fails the first two reads that
// reach it: the one the drive stopped short at, and the next that starts on
// it. `goneAfter`: reads before the disc is taken out. `shortBefore`: a
// short read stops that many sectors before the bad one, as the page cache
// stops at the page that holds it.
struct Damage
{
    std::set<std::int64_t> bad;
    std::set<std::int64_t> marginal = {};
    bool shortReads = false;
    bool failsWhole = false;
    int goneAfter = -1;
    std::int64_t shortBefore = 0;
};

class MemoryDisc final : public SectorProbe
{
public:
    MemoryDisc(std::int64_t size, Damage damage) : m_size(size), m_damage(std::move(damage)) {}

    TransferResult readOnce(std::int64_t offset, std::span<std::byte> into) override
    {
        reads.push_back({offset, static_cast<std::int64_t>(into.size())});
        if (m_damage.goneAfter >= 0 && std::ssize(reads) > m_damage.goneAfter)
            return fail(0, ENOMEDIUM);
        const auto end =
            std::max(offset, std::min(m_size, offset + static_cast<std::int64_t>(into.size())));
        auto at = offset;
        for (; at < end; at = (at / sector + 1) * sector) {
            const auto index = at / sector;
            if (m_damage.bad.count(index) != 0 ||
                (m_damage.marginal.count(index) != 0 && ++m_tries[index] <= 2))
                break;
        }
        at = std::min(at, end);
        if (m_damage.failsWhole && at < end)
            return fail(0, EIO);
        for (auto byte = offset; byte < at; ++byte)
            into[static_cast<std::size_t>(byte - offset)] = byteAt(byte);
        if (at == end)
            return {at - offset, {}};
        const auto shortTo = std::max(offset, at - m_damage.shortBefore * sector);
        if (m_damage.shortReads && shortTo > offset)
            return {shortTo - offset, {}};
        return fail(at - offset, EIO);
    }
    std::int64_t grain() override { return sector; }

    int failing = 0;
    std::vector<ByteRange> reads;

private:
    TransferResult fail(std::int64_t bytes, int error)
    {
        ++failing;
        return {bytes, std::error_code(error, std::generic_category())};
    }

    std::int64_t m_size;
    Damage m_damage;
    std::map<std::int64_t, int> m_tries; // of each marginal sector
};

std::set<std::int64_t> sectorsFrom(std::int64_t first, std::int64_t count)
{
    std::set<std::int64_t> sectors;
    for (auto index = first; index < first + count; ++index)
        sectors.insert(index);
    return sectors;
}

ByteRange sectorsAt(std::int64_t first, std::int64_t count)
{
    return {first * sector, count * sector};
}

// Each shape of damage in one buffer: what is reported unreadable (exactly,
// to the sector), whether some of it was presumed bad without a read of its
// own, how far the buffer got and why it stopped, and at most how many
// reads failed. Every byte outside the unreadable ranges holds the disc's.
// Scraping (what a later try reads where an earlier one found damage) reads
// every sector on its own.
TEST(SectorSalvageTest, EachShapeOfDamageIsFoundToTheSectorForFewFailingReads)
{
    constexpr std::int64_t mib = 1 << 20;
    constexpr std::int64_t buffer = 256 * 1024;
    const struct
    {
        const char* name;
        Damage damage;
        std::vector<ByteRange> unreadable = {};
        int error = 0; // errno: what stopped it, else the first read error
        int maxFailing = 0;
        bool presumes = false;
        std::int64_t bytes = buffer; // how far it got
        SalvageTrail carried = {};
        SalvageTrail runAfter = {};
        std::int64_t size = mib;
        std::int64_t length = buffer;
        bool stopAsked = false;
        bool scrape = false;
        std::size_t reads = 0; // all of them, where it matters
        bool edgesOnly = false;
    } cases[] = {
        {"healthy", {}},
        {"one bad sector", {{10}}, {sectorsAt(10, 1)}, EIO, 2},
        {"one bad sector, on a drive that fails the whole request",
         {{10}, {}, false, true},
         {sectorsAt(10, 1)},
         EIO,
         2},
        {"a short run read sector by sector", {sectorsFrom(10, 5)}, {sectorsAt(10, 5)}, EIO, 6},
        {"a long dead stretch: its edges exact, its inside presumed",
         {sectorsFrom(10, 1000)},
         {sectorsAt(10, 1000)},
         EIO,
         16 + 2 * 10 + 2,
         true,
         4 * mib,
         {},
         {},
         8 * mib,
         4 * mib},
        {"a stretch past the buffer's end is carried on",
         {sectorsFrom(100, 100)},
         {sectorsAt(100, 28)},
         EIO,
         16 + 2 * 5 + 2,
         true,
         buffer,
         {},
         {buffer, 28}},
        {"a buffer inside a carried stretch starts with one sector",
         {sectorsFrom(0, 20)},
         {sectorsAt(0, 20)},
         EIO,
         16 + 2 * 6,
         true,
         buffer,
         {0, 30}},
        // One bulk read finds the first two; from then on the gap is known
        // and the grains past each sector are read one by one through it.
        {"a scratch: one failing read a sector once their spacing shows",
         {{10, 30, 50, 70, 90, 110}},
         {sectorsAt(10, 1), sectorsAt(30, 1), sectorsAt(50, 1), sectorsAt(70, 1), sectorsAt(90, 1),
          sectorsAt(110, 1)},
         EIO,
         2 + 6},
        {"a buffer close past the last one's stretch reads its grains one by one",
         {{30}},
         {sectorsAt(30, 1)},
         EIO,
         1,
         false,
         buffer,
         {-1, 0, 0, 20 * sector}},
        {"the file ends inside the buffer", {}, {}, 0, 0, false, 100'000, {}, {}, 100'000},
        // The job's last buffer of a file ends where the file does.
        {"a bad sector cut short by the file's end",
         {{20}},
         {{20 * sector, 100}},
         EIO,
         2,
         false,
         20 * sector + 100,
         {},
         {20 * sector + 100, 1},
         20 * sector + 100,
         20 * sector + 100},
        {"a marginal sector after a short read reads on a try of its own",
         {{}, {10}, true},
         {},
         EIO,
         1},
        {"a read stopped short a sector before a bad one: single reads find it",
         {{11}, {}, true, false, -1, 1},
         {sectorsAt(11, 1)},
         EIO,
         1},
        // Where the kernel split the request and a later piece of it failed.
        {"a read stopped short far before a bad one: single reads find it",
         {{100}, {}, true, false, -1, 40},
         {sectorsAt(100, 1)},
         EIO,
         1},
        {"a marginal sector met by a failing read stays bad this time",
         {{}, {10}},
         {sectorsAt(10, 1)},
         EIO,
         2},
        {"the disc taken out stops the buffer where it stood",
         {{10}, {}, false, false, 1},
         {},
         ENOMEDIUM,
         2,
         false,
         10 * sector},
        {"a stop asked for ends the buffer after its first read",
         {{10}},
         {},
         ECANCELED,
         1,
         false,
         10 * sector,
         {},
         {},
         mib,
         buffer,
         true},
        // A first pass that scraping follows: one failing read at each edge.
        {.name = "edges only: a short run's inside is presumed, left to scraping",
         .damage = {sectorsFrom(10, 10)},
         .unreadable = {sectorsAt(10, 10)},
         .error = EIO,
         .maxFailing = 3,
         .presumes = true,
         .edgesOnly = true},
        {.name = "edges only: a lone marginal sector still gets its own try",
         .damage = {{}, {10}, true},
         .error = EIO,
         .maxFailing = 1,
         .edgesOnly = true},
        // The bulk read and the first sector, five skips doubling past the
        // stretch, halvings down to 16 sectors, the trim back: 27 when exact.
        {.name = "edges only: a long dead stretch",
         .damage = {sectorsFrom(10, 1000)},
         .unreadable = {sectorsAt(10, 1000)},
         .error = EIO,
         .maxFailing = 2 + 5 + 3 + 1,
         .presumes = true,
         .bytes = 4 * mib,
         .size = 8 * mib,
         .length = 4 * mib,
         .edgesOnly = true},
        {.name = "scraping tries every sector of a long stretch alone, to the file's end",
         .damage = {sectorsFrom(10, 100)},
         .unreadable = {sectorsAt(10, 100)},
         .error = EIO,
         .maxFailing = 100,
         .bytes = 120 * sector + 100,
         .size = 120 * sector + 100,
         .scrape = true,
         .reads = 121},
        {.name = "scraping stops where the disc was taken out",
         .damage = {{}, {}, false, false, 3},
         .error = ENOMEDIUM,
         .maxFailing = 1,
         .bytes = 3 * sector,
         .scrape = true,
         .reads = 4},
        {.name = "a stop asked for ends scraping after its first read",
         .damage = {{0}},
         .unreadable = {sectorsAt(0, 1)},
         .error = ECANCELED,
         .maxFailing = 1,
         .bytes = sector,
         .stopAsked = true,
         .scrape = true,
         .reads = 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryDisc disc(c.size, c.damage);
        std::vector<std::byte> bytes(static_cast<std::size_t>(c.length));
        auto run = c.carried;
        const auto stop = [&] { return c.stopAsked; };
        const auto result =
            c.scrape ? scrapeRead(disc, 0, bytes, stop)
                     : salvageRead(disc, disc, 0, bytes, run, stop,
                                   c.edgesOnly ? StretchSearch::edges : StretchSearch::exact);

        EXPECT_EQ(result.bytes, c.bytes);
        EXPECT_EQ(result.unreadable, c.unreadable);
        EXPECT_EQ(result.error, c.error == 0 ? std::error_code()
                                             : std::error_code(c.error, std::generic_category()))
            << result.error.message();
        EXPECT_LE(disc.failing, c.maxFailing);
        EXPECT_EQ(!result.presumed.empty(), c.presumes);
        EXPECT_EQ(run.end, c.runAfter.end);
        EXPECT_EQ(run.grains, c.runAfter.grains);
        std::int64_t wrong = 0;
        for (std::int64_t at = 0; at < result.bytes; ++at) {
            const bool unreadable =
                std::any_of(c.unreadable.begin(), c.unreadable.end(), [&](const ByteRange& range) {
                    return at >= range.offset && at < range.end();
                });
            wrong += !unreadable && bytes[static_cast<std::size_t>(at)] != byteAt(at);
        }
        EXPECT_EQ(wrong, 0);
        if (c.reads > 0) {
            EXPECT_EQ(disc.reads.size(), c.reads);
        }
        if (c.carried.grains > 0) {
            EXPECT_EQ(disc.reads.at(0).length, sector) << "a bulk read would fail on it first";
        }
    }
}

} // namespace
} // namespace brindlecap
