// SPDX-License-Identifier: GPL-3.0-or-later
// Copies off a FUSE file system that fails like a damaged disc: real EIO
// from the kernel, through the copy engine as the window runs it and through
// brindlecap-cli.
#include "cli_run.h"
#include "drive_list.h"
#include "media_job.h"
#include "medium_pattern.h"
#include "test_mounts.h"

#include <chrono>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace brindlecap::testing {
namespace {

struct MediumCase
{
    const char* name;
    std::int64_t size;
    int bufferOption;
    std::vector<Failing> hard;
    std::vector<Failing> soft; // fail softFailures times, then read
    long ejectAfter = 0;       // read requests
    int delayMs = 0;
    int softFailures = 1;
};

void PrintTo(const MediumCase& c, std::ostream* out)
{
    *out << c.name;
}

std::string describe(const MediumCase& c, bool directIo)
{
    std::ostringstream text;
    text << "file disc.bin " << c.size << " 7\n";
    for (const auto& range : c.hard)
        text << "hard disc.bin " << range.start << ' ' << range.end << '\n';
    for (const auto& range : c.soft)
        text << "soft disc.bin " << range.start << ' ' << range.end << ' ' << c.softFailures
             << '\n';
    if (c.ejectAfter > 0)
        text << "eject-after " << c.ejectAfter << '\n';
    if (c.delayMs > 0)
        text << "delay " << c.delayMs << '\n';
    if (directIo)
        text << "direct-io\n";
    return text.str();
}

std::vector<Failing> allFailing(const MediumCase& c)
{
    // A lone sector that fails once reads on its own try, in the same run.
    auto failing = c.hard;
    if (c.ejectAfter > 0) {
        // Each chunk up to 128 KiB is one read request; from the ejecting
        // one on nothing reads.
        const auto ejectedAt = (c.ejectAfter - 1) * chunkBytes(c.bufferOption);
        failing.push_back({ejectedAt, c.size});
    }
    return failing;
}

class DamagedMediumTest : public ::testing::TestWithParam<MediumCase>
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(scratch.path() / "engine");
        std::filesystem::create_directory(scratch.path() / "cli");
    }
    std::string folder(const char* name) const { return scratch / name; }

    ScratchDir scratch;
};

TEST_P(DamagedMediumTest, TheCopyHoldsEveryReadableByteAndZerosExactlyWhereReadsFailed)
{
    const auto& c = GetParam();
    const auto failing = allFailing(c);
    const auto expected = expectedCopy(c.size, 7, failing);
    const auto zeros = zeroRanges(expected);

    for (const auto* frontEnd : {"engine", "cli"}) {
        SCOPED_TRACE(frontEnd);
        // A fresh medium each time: soft errors and ejection start over.
        MountedMedium medium(scratch.path() / (std::string("medium-") + frontEnd),
                             describe(c, true));
        if (!medium.unavailable().empty())
            GTEST_SKIP() << medium.unavailable();
        const auto source = medium.path("disc.bin");
        const auto copy = folder(frontEnd) + "/disc.bin";

        const auto started = std::chrono::steady_clock::now();
        if (frontEnd == std::string("engine")) {
            const auto run = runEngineJob({source}, folder(frontEnd), c.bufferOption);
            EXPECT_EQ(run.filesDone, "........Finished........");
            EXPECT_EQ(run.percent, "100 %");
            ASSERT_EQ(run.report.files.size(), 1u);
            EXPECT_EQ(run.report.files[0].unreadable, zeros);
            EXPECT_EQ(run.report.files[0].status(),
                      zeros.empty() ? FileStatus::copied : FileStatus::copiedWithZeros);
        } else {
            const auto run = runCliJob({source}, folder(frontEnd), c.bufferOption);
            EXPECT_EQ(run.exitStatus, zeros.empty() ? 0 : 1) << run.out << run.err;
            for (const auto& range : zeros)
                EXPECT_NE(run.out.find(reportLine(range)), std::string::npos)
                    << reportLine(range) << " not in:\n"
                    << run.out;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        std::printf("%s, %s: %.2f s\n", c.name, frontEnd, took.count());

        const auto copied = readFile(copy);
        EXPECT_EQ(copied.size(), expected.size());
        EXPECT_TRUE(copied == expected)
            << "first difference at byte "
            << std::distance(copied.begin(), std::mismatch(copied.begin(), copied.end(),
                                                           expected.begin(), expected.end())
                                                 .first);
        EXPECT_EQ(medium.writeAttempts(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedMediumTest,
    ::testing::Values(
        MediumCase{"FirstChunk", mib, 0, {{100, 100 + sector}}, {}, 0, 0},
        MediumCase{"Middle", mib + 7, 1, {{500000, 500000 + sector}}, {}, 0, 0},
        MediumCase{"LastChunk", mib + 7, 3, {{mib + 4, mib + 7}}, {}, 0, 0},
        MediumCase{"OverAChunkBoundary", mib, 1, {{64 * 1024 - 1024, 64 * 1024 + 1024}}, {}, 0, 0},
        MediumCase{"WholeFile", mib, 2, {{0, mib}}, {}, 0, 0},
        MediumCase{"ScatteredClusters",
                   5 * mib,
                   6,
                   {{3 * sector, 5 * sector},
                    {mib, mib + sector},
                    {mib + 9 * sector, mib + 11 * sector},
                    {4 * mib + 17, 4 * mib + 17 + sector}},
                   {},
                   0,
                   0},
        MediumCase{
            "SoftErrors", mib, 0, {}, {{300000, 300000 + sector}, {700000, 700000 + sector}}, 0, 0},
        MediumCase{"SlowSectors",
                   mib,
                   0,
                   {{0, sector}, {40 * sector, 41 * sector}, {mib - sector, mib}},
                   {},
                   0,
                   150},
        MediumCase{"EjectedMidFile", mib, 0, {}, {}, 10, 0},
        MediumCase{"NoFaults", 3 * mib + 1, 4, {}, {}, 0, 0}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

class MediumTest : public ::testing::Test
{
protected:
    ScratchDir scratch;
};

// A sector that fails its first two tries reads on the third: copying again
// into the same file fills in what the first run wrote as zeros. The sector
// is given, so that each try reads it whole (no edge is sought inside it).
TEST_F(MediumTest, CopyingAgainRecoversWhatASoftErrorHid)
{
    MediumCase c{"soft", mib, 0, {}, {{300 * sector, 301 * sector}}, 0, 0, 2};
    MountedMedium medium(scratch.path(), describe(c, true));
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    const auto out = scratch / "out";
    std::filesystem::create_directory(out);
    const auto copy = [&] {
        return runCli({"-q", "--sector-size=2048", medium.path("disc.bin"), out}).exitStatus;
    };
    EXPECT_EQ(copy(), 1);
    EXPECT_TRUE(readFile(out + "/disc.bin") ==
                expectedCopy(mib, 7, {{300 * sector, 300 * sector + 1}}));
    EXPECT_EQ(copy(), 0);
    EXPECT_TRUE(readFile(out + "/disc.bin") == mediumBytes(mib, 7));
}

// Through the page cache the kernel reads whole pages and reads ahead, so
// where the zeros start is its choice; the copy must still hold only the
// medium's bytes or zeros, zeros over every bad byte, and every chunk that
// had no bad byte whole.
TEST_F(MediumTest, ThroughThePageCacheTheCopyIsStillTruthful)
{
    const std::vector<Failing> bad{{500000, 500000 + sector}, {mib + 100, mib + 100 + sector}};
    std::ostringstream description;
    description << "file disc.bin " << 2 * mib << " 7\n";
    for (const auto& range : bad)
        description << "hard disc.bin " << range.start << ' ' << range.end << '\n';
    MountedMedium medium(scratch.path(), description.str());
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    const auto out = scratch / "out";
    std::filesystem::create_directory(out);
    const auto run = runEngineJob({medium.path("disc.bin")}, out, 0);
    EXPECT_EQ(run.filesDone, "........Finished........");

    const auto copy = readFile(out + "/disc.bin");
    const auto original = mediumBytes(2 * mib, 7);
    ASSERT_EQ(copy.size(), original.size());
    const auto chunk = chunkBytes(0);
    for (std::int64_t start = 0; start < 2 * mib; start += chunk) {
        bool hasBad = false;
        for (const auto& range : bad)
            hasBad = hasBad || (range.start < start + chunk && range.end > start);
        for (auto position = start; position < start + chunk; ++position) {
            const auto at = static_cast<std::size_t>(position);
            bool isBad = false;
            for (const auto& range : bad)
                isBad = isBad || (position >= range.start && position < range.end);
            const bool right = isBad    ? copy[at] == std::byte{0}
                               : hasBad ? copy[at] == original[at] || copy[at] == std::byte{0}
                                        : copy[at] == original[at];
            if (!right)
                FAIL() << "byte " << position << " is wrong";
        }
    }
    EXPECT_FALSE(run.report.files[0].unreadable.empty());
}

// The folder dialog's volume list offers the medium like any disc.
// The progress line has a thread of its own: while a read hangs on a bad
// sector, the line says the drive is being waited on.
TEST_F(MediumTest, TheProgressLineSaysWhenAReadHangsOnTheDrive)
{
    MountedMedium medium(scratch.path(), "file disc.bin 300000 7\ndirect-io\ndelay 3000\n"
                                         "hard disc.bin 100000 100001\n");
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    std::filesystem::create_directory(scratch.path() / "out");
    const std::string out = scratch / "out", disc = medium.path("disc.bin");
    std::ostringstream report, terminal;
    const auto status = brindlecap::runCli({"-b", "256", "--no-map", "-t", out, "--", disc},
                                           {report, terminal, true, 300}, [] { return 0; });
    EXPECT_EQ(status, 1) << report.str() << terminal.str();
    // Shown twice a second while a read is under way; a busy machine may
    // skip a second of the count, so any count of seconds will do.
    EXPECT_TRUE(std::regex_search(
        terminal.str(), std::regex(R"(\[pass 1 of 3: copying, file 1 of 1\] disc\.bin  0 B of )"
                                   R"(300\.0 kB rescued, 0 B/s, waiting on the drive for \d+ s, )"
                                   R"(time left unknown)")))
        << terminal.str();
    EXPECT_TRUE(readFile(out + "/disc.bin") == expectedCopy(300000, 7, {{100000, 100001}}));
}

TEST_F(MediumTest, TheMediumIsListedAmongTheVolumes)
{
    MountedMedium medium(scratch.path(), "file disc.bin 4096 1\n");
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    const auto mountPoint = QString::fromStdString((scratch.path() / "medium").string());
    EXPECT_TRUE(mountedVolumePaths().contains(mountPoint)) << mountPoint.toStdString();
}

// An ejected disc fails every read and every stat: the file being copied is
// zero-filled to its end, the next one on the disc is passed over.
TEST_F(MediumTest, AnEjectedDiscEndsTheJobTruthfully)
{
    std::ostringstream description;
    description << "file a.bin " << mib << " 7\nfile b.bin " << mib << " 9\neject-after 5\n"
                << "direct-io\n";
    MountedMedium medium(scratch.path(), description.str());
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    const auto out = scratch / "out";
    std::filesystem::create_directory(out);
    const auto run = runCliJob({medium.path("a.bin"), medium.path("b.bin")}, out, 0);
    EXPECT_EQ(run.exitStatus, 3) << run.out;
    EXPECT_NE(run.out.find("not copied: " + medium.path("b.bin")), std::string::npos) << run.out;
    EXPECT_TRUE(readFile(out + "/a.bin") == expectedCopy(mib, 7, {{4 * chunkBytes(0), mib}}));
    EXPECT_FALSE(std::filesystem::exists(out + "/b.bin"));
}

} // namespace
} // namespace brindlecap::testing
