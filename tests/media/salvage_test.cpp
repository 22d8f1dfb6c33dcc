// SPDX-License-Identifier: GPL-3.0-or-later
// Every readable sector of a damaged file, in few failing reads: the shapes
// damage takes on a disc, on the FUSE medium read directly and through the
// page cache, copied by the engine at the smallest, the default and the
// largest buffer and by brindlecap-cli, and held against GNU ddrescue's
// default run on the same image; brindlecap-cli's copy pass against
// ddrescue's own first pass (-n).
#include "media_job.h"
#include "medium_pattern.h"
#include "run_process.h"
#include "test_mounts.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sstream>

namespace brindlecap::testing {
namespace {

namespace fs = std::filesystem;
constexpr const char* ddrescue = "/usr/bin/ddrescue";

struct Shape
{
    const char* name;
    std::int64_t size;
    std::vector<Failing> bad; // whole sectors, in order
};

// The damage a disc shows, built from a fixed seed so that every run meets
// the same sectors.
std::vector<Shape> shapes()
{
    std::mt19937 random(11);
    const auto between = [&](int low, int high) {
        return static_cast<std::int64_t>(low + random() % static_cast<unsigned>(high - low + 1));
    };
    Shape clusters{"Clusters", 24 * mib, {}};
    for (std::int64_t at = 200; at < 24 * mib / sector - 40; at += between(500, 1500))
        clusters.bad.push_back(sectors(at, between(1, 16)));
    // A scratch across the spiral: one bad sector about every revolution.
    Shape scratch{"Scratch", 12 * mib, {}};
    for (std::int64_t at = 1000, n = 0; n < 60; ++n, at += between(17, 23))
        scratch.bad.push_back(sectors(at, 1));
    Shape dead{"DeadStretch", 8 * mib, {{2 * mib, 4 * mib}}};
    Shape shortRuns{"ShortRunsWithGoodBetween", 8 * mib, {}};
    for (std::int64_t region : {300, 1700, 3100}) {
        for (std::int64_t at = region; at < region + 300;) {
            const auto run = between(1, 8);
            shortRuns.bad.push_back(sectors(at, run));
            at += run + between(1, 8);
        }
    }
    return {clusters, scratch, dead, shortRuns};
}

std::string describe(const Shape& shape, bool directIo)
{
    std::ostringstream text;
    text << "file disc.bin " << shape.size << " 7\n";
    for (const auto& range : shape.bad)
        text << "hard disc.bin " << range.start << ' ' << range.end << '\n';
    if (directIo)
        text << "direct-io\n";
    return text.str();
}

std::vector<ByteRange> asRanges(const std::vector<Failing>& bad)
{
    std::vector<ByteRange> ranges;
    for (const auto& range : bad)
        appendRange(ranges, {range.start, range.end - range.start});
    return ranges;
}

struct SalvageCase
{
    Shape shape;
    bool directIo;
};

void PrintTo(const SalvageCase& c, std::ostream* out)
{
    *out << c.shape.name << (c.directIo ? " read directly" : " through the page cache");
}

class SalvageTest : public ::testing::TestWithParam<SalvageCase>
{
protected:
    // A fresh medium for each run, so each counts only its own reads.
    std::unique_ptr<MountedMedium> mount(const std::string& name)
    {
        auto medium = std::make_unique<MountedMedium>(
            scratch.path() / name, describe(GetParam().shape, GetParam().directIo));
        fs::create_directories(scratch.path() / name / "out");
        return medium;
    }

    ScratchDir scratch;
};

TEST_P(SalvageTest, EveryReadableSectorIsSavedInFewerFailingReadsThanDdrescue)
{
    const auto& shape = GetParam().shape;
    const auto expected = expectedCopy(shape.size, 7, shape.bad);
    const auto unreadable = asRanges(shape.bad);

    if (::access(ddrescue, X_OK) != 0)
        GTEST_SKIP() << "GNU ddrescue (Debian's gddrescue) is not installed to compare with";
    const auto theirs = mount("ddrescue");
    if (!theirs->unavailable().empty())
        GTEST_SKIP() << theirs->unavailable();
    const auto ddrescueRun = [&](MountedMedium& medium, const std::string& name,
                                 std::vector<std::string> options) {
        const auto out = scratch / (name + "/out");
        options.insert(options.end(), {"-q", "-b", std::to_string(sector), medium.path("disc.bin"),
                                       out + "/disc.bin", out + "/map"});
        runProcess(ddrescue, options);
        return medium.failingReads();
    };
    const auto ddrescueFailingReads = ddrescueRun(*theirs, "ddrescue", {});
    // Nothing tells the command line's passes the sector that ddrescue is
    // given: finding the first eight edges down to 512 bytes may cost them
    // two failing reads each beyond ddrescue's count. The window's one pass
    // spends fewer than ddrescue even so.
    const auto beyondDdrescue = 8 * 2;

    for (const int option : {0, 3, 6}) {
        SCOPED_TRACE("buffer " + std::to_string(chunkBytes(option) / 1024) + " KB, engine");
        const auto medium = mount("engine-" + std::to_string(option));
        const auto folder = scratch / ("engine-" + std::to_string(option) + "/out");
        const auto run = runEngineJob({medium->path("disc.bin")}, folder, option);
        EXPECT_EQ(run.percent, "100 %");
        EXPECT_EQ(run.report.files.at(0).unreadable, unreadable);
        EXPECT_TRUE(readFile(folder + "/disc.bin") == expected) << "a readable sector was lost";
        EXPECT_LT(medium->failingReads(), ddrescueFailingReads);
        if (std::string(shape.name) == "DeadStretch" && option == 6) { // 1,024 bad sectors
            EXPECT_LE(medium->failingReads(), 2 * 24) << "a dead stretch must cost log k, not k";
        }
        std::printf("%s at %lld KB: %ld failing reads (ddrescue %ld)\n", shape.name,
                    static_cast<long long>(chunkBytes(option) / 1024), medium->failingReads(),
                    ddrescueFailingReads);
        EXPECT_EQ(medium->writeAttempts(), "");
    }

    SCOPED_TRACE("cli");
    const auto medium = mount("cli");
    const auto run = runCliJob({medium->path("disc.bin")}, scratch / "cli/out", 3);
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    for (const auto& range : unreadable)
        EXPECT_NE(run.out.find(reportLine(range)), std::string::npos) << reportLine(range);
    EXPECT_TRUE(readFile(scratch / "cli/out/disc.bin") == expected);
    EXPECT_LE(medium->failingReads(), ddrescueFailingReads + beyondDdrescue);
    const auto cliReads = medium->failingReads();

    // The copy pass alone finds only the edges of each stretch, and the same
    // command without --passes then reads what lies between.
    SCOPED_TRACE("cli, the copy pass first");
    const auto firstOnly = mount("ddrescue-n");
    const auto ddrescueFirstPass = ddrescueRun(*firstOnly, "ddrescue-n", {"-n"});
    const auto ours = mount("cli-copy");
    const auto folder = scratch / "cli-copy/out";
    const auto copyPass =
        runCli({"-q", "-b", "256", "--passes=copy", ours->path("disc.bin"), folder});
    EXPECT_EQ(copyPass.exitStatus, 1) << copyPass.out << copyPass.err;
    const auto copyPassReads = ours->failingReads();
    EXPECT_LE(copyPassReads, ddrescueFirstPass + beyondDdrescue);
    const auto rest = runCli({"-q", "-b", "256", ours->path("disc.bin"), folder});
    EXPECT_EQ(rest.exitStatus, 1) << rest.out << rest.err;
    EXPECT_TRUE(readFile(folder + "/disc.bin") == expected);
    EXPECT_LE(ours->failingReads(), ddrescueFailingReads + beyondDdrescue);
    std::printf("%s: cli %ld failing reads; copy pass %ld (ddrescue -n %ld), then all passes %ld\n",
                shape.name, cliReads, copyPassReads, ddrescueFirstPass, ours->failingReads());
}

std::vector<SalvageCase> salvageCases()
{
    std::vector<SalvageCase> cases;
    for (const auto& shape : shapes())
        for (const bool directIo : {true, false})
            cases.push_back({shape, directIo});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Shapes, SalvageTest, ::testing::ValuesIn(salvageCases()),
                         [](const auto& testInfo) {
                             return std::string(testInfo.param.shape.name) +
                                    (testInfo.param.directIo ? "Direct" : "PageCache");
                         });

class SalvageMediumTest : public ::testing::Test
{
protected:
    ScratchDir scratch;
};

// Trying again is the first thing anyone does with a failing disc: a second
// copy into the same folder fills in what the first missed and takes
// nothing away, whichever of the two could read a sector.
TEST_F(SalvageMediumTest, ASecondCopyIntoTheSameFolderOnlyAddsWhatItRead)
{
    const std::vector<Failing> firstBad{sectors(10, 4), sectors(100, 1), sectors(300, 20)};
    const std::vector<Failing> secondBad{sectors(12, 4), sectors(200, 1), sectors(310, 20)};
    const std::vector<Failing> neither{sectors(12, 2), sectors(310, 10)};
    constexpr std::int64_t size = 2 * mib;
    // What the first copy lost and the second read: sectors 10-11, 100 and
    // 300-309, recovered by this try.
    constexpr std::int64_t recoveredBytes = 13 * 2048;
    // With no record of what the first copy read (the engine alone, as the
    // window after a restart; the command line with --no-map), the copy's
    // bytes tell it: every stretch the second copy could not read is
    // reported, with what the copy kept there. A map tells the command line
    // what the first copy rescued, which is not read again.
    const struct
    {
        const char* name;
        std::vector<std::string> options; // of the command line; none: the engine
        std::string report;               // its lines for the second copy
    } fronts[] = {
        {"engine", {}, {}},
        {"cli",
         {"-q"},
         "    unreadable: bytes 24576-28671 (4,096 bytes)\n"
         "    unreadable: bytes 634880-655359 (20,480 bytes)\n"
         "    recovered: 26,624 bytes that the earlier copy was missing\n"},
        {"nomap",
         {"-q", "--no-map"},
         "    unreadable: bytes 24576-32767 (8,192 bytes; 4,096 of them kept from the earlier "
         "copy)\n"
         "    unreadable: bytes 409600-411647 (2,048 bytes; the earlier copy's bytes kept)\n"
         "    unreadable: bytes 634880-675839 (40,960 bytes; 20,480 of them kept from the "
         "earlier copy)\n"
         "    recovered: 26,624 bytes that the earlier copy was missing\n"},
    };
    for (const auto& front : fronts) {
        SCOPED_TRACE(front.name);
        const auto folder = scratch / front.name;
        fs::create_directory(folder);
        EngineRun lastRun;
        ProcessResult lastCli;
        const auto copy = [&](const std::vector<Failing>& bad, const std::string& disc) {
            MountedMedium medium(scratch.path() / disc, describe({"", size, bad}, true));
            if (!medium.unavailable().empty())
                return medium.unavailable();
            if (front.options.empty()) {
                lastRun = runEngineJob({medium.path("disc.bin")}, folder, 3);
                return std::string();
            }
            auto arguments = front.options;
            arguments.insert(arguments.end(),
                             {"-b", "256", "-t", folder, "--", medium.path("disc.bin")});
            lastCli = runCli(arguments);
            EXPECT_EQ(lastCli.exitStatus, 1);
            return std::string();
        };
        const auto skipped = copy(firstBad, std::string(front.name) + "-first");
        if (!skipped.empty())
            GTEST_SKIP() << skipped;
        EXPECT_TRUE(readFile(folder + "/disc.bin") == expectedCopy(size, 7, firstBad));
        copy(secondBad, std::string(front.name) + "-second");
        EXPECT_TRUE(readFile(folder + "/disc.bin") == expectedCopy(size, 7, neither));
        if (front.options.empty()) {
            // Every stretch the second copy could not read was left as the
            // first copy had it: the disc's bytes, which count as kept, or
            // the first copy's zeros, which are still missing.
            const auto& outcome = lastRun.report.files.at(0);
            EXPECT_EQ(outcome.unreadable, asRanges(secondBad));
            EXPECT_EQ(outcome.keptEarlier,
                      asRanges({sectors(14, 2), sectors(200, 1), sectors(320, 10)}));
            EXPECT_EQ(outcome.recoveredBytes, recoveredBytes);
            continue;
        }
        // Those lines, between the file's line and the summary.
        EXPECT_NE(lastCli.out.find(front.report), std::string::npos) << lastCli.out;
        EXPECT_EQ(std::count(lastCli.out.begin(), lastCli.out.end(), '\n'),
                  std::count(front.report.begin(), front.report.end(), '\n') + 2)
            << lastCli.out;
    }
}

// A disc taken out in the middle of a bad stretch: salvage stops at once
// instead of probing on, and the rest of the file is not read sector by
// sector either.
TEST_F(SalvageMediumTest, ADiscTakenOutDuringSalvageStopsItAtOnce)
{
    std::ostringstream description;
    description << "file disc.bin " << 4 * mib << " 7\nhard disc.bin " << mib << ' ' << 2 * mib
                << "\ndirect-io\neject-after 14 " << ENOMEDIUM << '\n';
    MountedMedium medium(scratch.path(), description.str());
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    fs::create_directory(scratch.path() / "out");
    const auto run = runEngineJob({medium.path("disc.bin")}, scratch / "out", 6);
    const auto& outcome = run.report.files.at(0);
    EXPECT_EQ(outcome.firstReadError, std::error_code(ENOMEDIUM, std::generic_category()));
    ASSERT_FALSE(outcome.unreadable.empty());
    EXPECT_EQ(outcome.unreadable.front().offset, mib);
    EXPECT_EQ(outcome.unreadable.back().end(), 4 * mib);
    // One read in the first chunk after the disc went, one in the second.
    const auto reads = medium.reads();
    EXPECT_LE(reads.size(), 14u + 2u);
}

// A disk or stick whose file system has 4 KiB blocks over smaller sectors,
// or a disc image served with 4 KiB blocks: the medium reports 4096, and the
// system says its sector only for a block device, which FUSE is not. A
// failed block is split at the stretch's edges, so only the bad sectors are
// lost, whether the medium gives the sectors before a bad one or fails a
// whole request as a drive does; the sector given is used as it is.
TEST_F(SalvageMediumTest, OnlyTheBadSectorsInsideABlockAreLost)
{
    constexpr std::int64_t size = 256 * 1024;
    constexpr std::int64_t block = 4096;
    const struct
    {
        const char* name;
        std::int64_t sector; // the medium's own
        std::vector<Failing> bad;
        bool failsWhole;
        long maxFailing;
        std::string sectorSize = {}; // given on the command line; empty: not given
        bool passes = false;         // the command line keeps its map: edges first, then scraping
        int files = 1;               // on the medium, each with the same damage, copied in one job
    } cases[] = {
        {"one 512-byte sector", 512, {{9216, 9728}}, false, 2},
        {"one 512-byte sector, whole requests failing", 512, {{9216, 9728}}, true, 3},
        // The edges bring the grain down to 512 bytes: the inside, read in
        // blocks before, is read again sector by sector. A stretch's second
        // block is split for the sector first, one failing read here.
        {"512-byte sectors from inside one block to inside another",
         512,
         {{9728, 14848}},
         false,
         13},
        // Every block of the stretch holds a bad sector: in blocks it was one
        // stretch, and the good sectors between the bad ones were lost.
        {"short 512-byte runs in every block of a stretch",
         512,
         {{0, 512}, {1024, 1536}, {5120, 6144}, {6656, 7168}, {8704, 9216}, {12800, 13312}},
         true,
         13},
        {"512-byte sectors at a block's start and at another's end",
         512,
         {{2 * block, 2 * block + 512}, {5 * block - 512, 5 * block}},
         true,
         5},
        // The window's first 32 KB chunk ends in a block whose first sector
        // is bad: the stretch ends inside the chunk, not at its end.
        {"a 512-byte sector in the last block of a chunk",
         512,
         {{32768 - block, 32768 - block + 512}},
         true,
         3},
        // Once an edge fell between two 2048-byte boundaries, the grain is
        // 512 bytes: the good sector between two bad ones in one block reads.
        {"512-byte sectors, many stretches",
         512,
         {{9216, 9728}, {10 * block + 512, 10 * block + 1024}, {10 * block + 1536, 11 * block}},
         true,
         10},
        {"2048-byte sectors from inside one block to inside another",
         2048,
         {{10240, 18432}},
         true,
         12},
        // Each edge is sought down to 512 bytes, one failing read, until
        // eight edges on 2048-byte boundaries make that the sector.
        {"2048-byte sectors, many stretches",
         2048,
         {{10240, 12288}, {22528, 26624}, {40960, 43008}, {63488, 67584}},
         true,
         18},
        // What the first file's edges showed holds for the second on the
        // same medium: its edges are not split again (were each file to
        // learn the sector anew, two would cost about twice one's).
        {.name = "2048-byte sectors, many stretches, in two files",
         .sector = 2048,
         .bad = {{10240, 12288}, {22528, 26624}, {40960, 43008}, {63488, 67584}},
         .failsWhole = true,
         .maxFailing = 18 + 12,
         .files = 2},
        // Every edge on a block's boundary, and a good sector between two
        // runs in one block: the stretch's second block is split, which
        // shows the sector, before the window's 32 KB chunk is given up.
        {"2048-byte sectors, a good one inside a stretch of blocks",
         2048,
         {{16384, 20480}, {22528, 32768}},
         true,
         15},
        // The copy pass finds the second sector by trimming back from a good
        // block: the good half before it is left to scraping, not lost.
        {"2048-byte sectors in blocks' second halves, edges first",
         2048,
         {{5 * 2048, 6 * 2048}, {25 * 2048, 26 * 2048}},
         true,
         10,
         {},
         true},
        {"one 512-byte sector, 512 given", 512, {{9216, 9728}}, true, 2, "512"},
    };
    for (const auto& c : cases) {
        std::ostringstream description;
        description << "direct-io\nblock-size " << block << "\nsector " << c.sector << '\n'
                    << (c.failsWhole ? "fails-whole\n" : "");
        std::vector<std::string> names;
        for (int file = 1; file <= c.files; ++file) {
            names.push_back(file == 1 ? "disc.bin" : "disc" + std::to_string(file) + ".bin");
            description << "file " << names.back() << ' ' << size << " 7\n";
            for (const auto& range : c.bad)
                description << "hard " << names.back() << ' ' << range.start << ' ' << range.end
                            << '\n';
        }
        auto expected = mediumBytes(size, 7);
        for (const auto& range : c.bad)
            std::fill(expected.begin() + range.start, expected.begin() + range.end, std::byte{0});
        // The window reads 32 KB chunks, each through a source opened
        // anew: what the edges told must outlast the chunk.
        for (const bool window : {false, true}) {
            if (window && !c.sectorSize.empty())
                continue; // the window has no such setting
            SCOPED_TRACE(std::string(c.name) + (window ? ", window" : ", cli"));
            const auto name = std::to_string(&c - cases) + (window ? "-window" : "-cli");
            MountedMedium medium(scratch.path() / ("medium-" + name), description.str());
            if (!medium.unavailable().empty())
                GTEST_SKIP() << medium.unavailable();
            const auto into = scratch / ("out-" + name);
            fs::create_directory(into);
            std::vector<std::string> sources;
            for (const auto& file : names)
                sources.push_back(medium.path(file));
            std::string out;
            if (window) {
                const auto run = runEngineJob(sources, into, 0);
                for (const auto& file : run.report.files)
                    EXPECT_EQ(file.unreadable, asRanges(c.bad));
            } else {
                std::vector<std::string> arguments{"-q"};
                if (!c.passes)
                    arguments.push_back("--no-map");
                if (!c.sectorSize.empty())
                    arguments.push_back("--sector-size=" + c.sectorSize);
                arguments.insert(arguments.end(), sources.begin(), sources.end());
                arguments.push_back(into);
                const auto run = runCli(arguments);
                EXPECT_EQ(run.exitStatus, 1) << run.err;
                for (const auto& range : asRanges(c.bad))
                    EXPECT_NE(run.out.find(reportLine(range)), std::string::npos) << run.out;
                out = run.out;
            }
            for (const auto& file : names)
                EXPECT_TRUE(readFile(into + "/" + file) == expected) << file << out;
            EXPECT_LE(medium.failingReads(), c.maxFailing) << out;
        }
    }
}

// The healthy path: every buffer size copies a file that is not a whole
// number of chunks byte for byte, with no salvage read at all.
TEST_F(SalvageMediumTest, AHealthyFileIsCopiedExactlyAtEveryBufferSize)
{
    constexpr std::int64_t size = 5 * mib + 12345;
    MountedMedium medium(scratch.path(),
                         "file disc.bin " + std::to_string(size) + " 3\ndirect-io\n");
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    for (int option = 0; option < 7; ++option) {
        SCOPED_TRACE(option);
        const auto folder = scratch / ("out-" + std::to_string(option));
        fs::create_directory(folder);
        const auto run = runEngineJob({medium.path("disc.bin")}, folder, option);
        EXPECT_EQ(run.report.files.at(0).status(), FileStatus::copied);
        EXPECT_TRUE(readFile(folder + "/disc.bin") == mediumBytes(size, 3));
    }
    EXPECT_EQ(medium.failingReads(), 0);
}

} // namespace
} // namespace brindlecap::testing
