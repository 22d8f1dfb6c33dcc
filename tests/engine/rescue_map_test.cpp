// SPDX-License-Identifier: GPL-3.0-or-later
#include "rescue_map.h"
#include "run_process.h"
#include "scratch_dir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <unistd.h>

namespace brindlecap {
namespace {

using Status = RescueMap::Status;
using Block = RescueMap::Block;

TEST(RescueMapTest, MarkingKeepsTheBlocksInOrderAndJoinsNeighbours)
{
    struct Mark
    {
        ByteRange range;
        Status status;
    };
    const struct
    {
        const char* name;
        std::vector<Mark> marks;
        std::vector<Block> blocks;
        std::int64_t unreadableStretches = 0; // as a report lists them
    } cases[] = {
        {"nothing tried", {}, {{0, 1000, Status::nonTried}}},
        {"a middle piece",
         {{{100, 50}, Status::finished}},
         {{0, 100, Status::nonTried}, {100, 50, Status::finished}, {150, 850, Status::nonTried}}},
        {"both ends",
         {{{0, 10}, Status::badSector}, {{990, 10}, Status::nonScraped}},
         {{0, 10, Status::badSector}, {10, 980, Status::nonTried}, {990, 10, Status::nonScraped}},
         2},
        {"a stretch's tried edges and its presumed inside",
         {{{100, 10}, Status::badSector},
          {{110, 80}, Status::nonScraped},
          {{190, 10}, Status::badSector}},
         {{0, 100, Status::nonTried},
          {100, 10, Status::badSector},
          {110, 80, Status::nonScraped},
          {190, 10, Status::badSector},
          {200, 800, Status::nonTried}},
         1},
        {"neighbours join",
         {{{0, 500}, Status::finished}, {{500, 500}, Status::finished}},
         {{0, 1000, Status::finished}}},
        {"over several blocks",
         {{{100, 100}, Status::badSector},
          {{300, 100}, Status::badSector},
          {{150, 200}, Status::finished}},
         {{0, 100, Status::nonTried},
          {100, 50, Status::badSector},
          {150, 200, Status::finished},
          {350, 50, Status::badSector},
          {400, 600, Status::nonTried}},
         2},
        {"past the end is cut",
         {{{900, 500}, Status::finished}},
         {{0, 900, Status::nonTried}, {900, 100, Status::finished}}},
        {"the same status again changes nothing",
         {{{100, 100}, Status::finished}, {{120, 30}, Status::finished}},
         {{0, 100, Status::nonTried}, {100, 100, Status::finished}, {200, 800, Status::nonTried}}},
        {"a block overwritten exactly",
         {{{100, 100}, Status::badSector}, {{100, 100}, Status::nonScraped}},
         {{0, 100, Status::nonTried}, {100, 100, Status::nonScraped}, {200, 800, Status::nonTried}},
         1},
        {"every other sector, then all",
         {{{0, 100}, Status::badSector},
          {{200, 100}, Status::badSector},
          {{400, 100}, Status::badSector},
          {{0, 1000}, Status::finished}},
         {{0, 1000, Status::finished}}},
        {"a hole filled in",
         {{{0, 1000}, Status::finished},
          {{400, 2}, Status::badSector},
          {{400, 2}, Status::finished}},
         {{0, 1000, Status::finished}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RescueMap map(1000);
        for (const auto& mark : c.marks)
            map.mark(mark.range, mark.status);
        EXPECT_EQ(map.blocks(), c.blocks);
        EXPECT_EQ(map.unreadableStretches(), c.unreadableStretches);
        std::int64_t covered = 0;
        std::map<Status, std::pair<std::int64_t, std::int64_t>> tally; // bytes, areas
        for (const auto& block : map.blocks()) {
            covered += block.length;
            tally[block.status].first += block.length;
            ++tally[block.status].second;
        }
        EXPECT_EQ(covered, 1000);
        for (const auto status :
             {Status::nonTried, Status::nonScraped, Status::badSector, Status::finished}) {
            EXPECT_EQ(map.bytesWith(status), tally[status].first) << static_cast<char>(status);
            EXPECT_EQ(map.areasWith(status), tally[status].second) << static_cast<char>(status);
        }
    }
}

// A disc scratched all over leaves the map thousands of blocks, kept in
// pages: many small marks at random places must leave exactly what marking
// the file byte by byte would, and its text must say so.
TEST(RescueMapTest, ManyMarksAgreeWithMarkingEachByte)
{
    constexpr std::int64_t size = 200'000;
    const Status statuses[] = {Status::nonTried, Status::nonScraped, Status::badSector,
                               Status::finished};
    std::mt19937 random(2026);
    RescueMap map(size);
    std::vector<Status> bytes(size, Status::nonTried);
    for (int mark = 1; mark <= 20'000; ++mark) {
        const auto length =
            std::uniform_int_distribution<std::int64_t>(1, mark % 50 == 0 ? 20'000 : 40)(random);
        const auto offset = std::uniform_int_distribution<std::int64_t>(0, size - 1)(random);
        const auto status = statuses[random() % 4];
        map.mark({offset, length}, status);
        std::fill(bytes.begin() + offset, bytes.begin() + std::min(size, offset + length), status);
        if (mark % 2'000 != 0)
            continue;
        std::vector<Block> expected;
        for (std::int64_t at = 0; at < size; ++at) {
            if (!expected.empty() && expected.back().status == bytes[static_cast<std::size_t>(at)])
                ++expected.back().length;
            else
                expected.push_back({at, 1, bytes[static_cast<std::size_t>(at)]});
        }
        ASSERT_EQ(map.blocks(), expected) << "after " << mark << " marks";
        // Its text, written again only where it changed, reads back the same.
        std::string why;
        const auto read = RescueMap::parse(map.text("test", "then", "now"), why);
        ASSERT_TRUE(read) << why;
        EXPECT_EQ(read->blocks(), expected);
        for (const auto each : statuses)
            EXPECT_EQ(map.bytesWith(each), std::count(bytes.begin(), bytes.end(), each));
    }
}

TEST(RescueMapTest, ItsTextReadsBackAndGnuDdrescuelogAcceptsIt)
{
    RescueMap map(10'000'000);
    map.mark({0, 3'999'744}, Status::finished);
    map.mark({3'999'744, 2048}, Status::badSector);
    map.mark({4'001'792, 40960}, Status::nonScraped);
    map.mark({4'042'752, 1'000'000}, Status::finished);
    map.currentPosition = 5'042'752;
    map.notes["source"] = "/media/disc/film.mp4";
    const auto text = map.text("brindlecap-cli -b 256 /media/disc/film.mp4 out",
                               "2026-12-09 10:00:00", "2026-12-09 10:05:00");
    EXPECT_NE(text.find("\n0x003D0800  0x00000800  -\n"), std::string::npos) << text;

    std::string why;
    const auto read = RescueMap::parse(text, why);
    ASSERT_TRUE(read) << why;
    EXPECT_EQ(read->blocks(), map.blocks());
    EXPECT_EQ(read->currentPosition, map.currentPosition);
    EXPECT_EQ(read->notes, map.notes);

    if (::access("/usr/bin/ddrescuelog", X_OK) != 0)
        GTEST_SKIP() << "GNU ddrescuelog (Debian's gddrescue) is not installed";
    const testing::ScratchDir scratch;
    const auto path = scratch / "film.map";
    testing::writeFile(
        path, testing::Bytes(reinterpret_cast<const std::byte*>(text.data()),
                             reinterpret_cast<const std::byte*>(text.data()) + text.size()));
    const auto status = testing::runProcess("/usr/bin/ddrescuelog", {"--show-status", path});
    EXPECT_EQ(status.exitStatus, 0) << status.err;
    // Bad sectors as ddrescuelog counts them: the '-' block.
    const auto bad = testing::runProcess("/usr/bin/ddrescuelog", {"-b", "2048", "-l-", path});
    EXPECT_EQ(bad.out, "1953\n") << bad.err;
}

TEST(RescueMapTest, WhatIsNotAMapIsRefusedWithAReason)
{
    const struct
    {
        const char* text;
        const char* why;
    } cases[] = {
        {"", "no status line"},
        {"# only comments\n", "no status line"},
        {"hello world\n", "line 1 is not a mapfile's"},
        {"0x0 ? 1\n0x0 0x100 +\n0x200 0x100 -\n", "its blocks do not follow each other from 0"},
        {"0x0 ? 1\n0x0 0x100 X\n", "block line 2 does not read"},
        // Positions near 2^63 would overflow a signed add.
        {"0x0 ? 1\n0x0 0x7FFFFFFFFFFFFFFF +\n0x7FFFFFFFFFFFFFFF 0x10 -\n",
         "its blocks do not follow each other from 0"},
        {"0x0 ? 1\n0x0 0x8000000000000000 +\n", "block line 2 does not read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string why;
        EXPECT_FALSE(RescueMap::parse(c.text, why));
        EXPECT_EQ(why, c.why);
    }
}

} // namespace
} // namespace brindlecap
