// SPDX-License-Identifier: GPL-3.0-or-later
// brindlecap-cli as a rescue tool: a ddrescue map per copy, a run stopped
// with Ctrl-C that the same command finishes, a retry after the disc is
// cleaned that fills only the gaps, and folders copied as a whole. On the
// FUSE medium, whose read log shows what each run read.
#include "media_job.h"
#include "medium_pattern.h"
#include "rescue_map.h"
#include "source_fingerprint.h"
#include "test_mounts.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace brindlecap::testing {
namespace {

namespace fs = std::filesystem;
constexpr const char* ddrescuelog = "/usr/bin/ddrescuelog";

std::string describe(std::int64_t size, const std::vector<Failing>& bad,
                     const std::string& extra = {})
{
    std::ostringstream text;
    text << "file disc.bin " << size << " 7\ndirect-io\n";
    for (const auto& range : bad)
        text << "hard disc.bin " << range.start << ' ' << range.end << '\n';
    return text.str() + extra;
}

ProcessResult cli(const std::vector<std::string>& arguments)
{
    return runCli(arguments);
}

bool overlaps(const MediumRead& read, const std::vector<ByteRange>& ranges)
{
    for (const auto& range : ranges)
        if (range.offset < read.offset + read.size && read.offset < range.end())
            return true;
    return false;
}

// The reads of a run that tell the disc is the one a map was made from: at
// most one, of one piece of the map's fingerprint. The others are returned.
std::vector<MediumRead> beyondFingerprint(const std::vector<MediumRead>& reads,
                                          const RescueMap& map)
{
    const auto fingerprint = SourceFingerprint::parse(map.notes.count("source-fingerprint") != 0
                                                          ? map.notes.at("source-fingerprint")
                                                          : std::string());
    EXPECT_TRUE(fingerprint && !fingerprint->pieces().empty()) << "the map has a fingerprint";
    std::vector<MediumRead> others;
    int checks = 0;
    for (const auto& read : reads) {
        const bool check = fingerprint && checks == 0 &&
                           std::any_of(fingerprint->pieces().begin(), fingerprint->pieces().end(),
                                       [&](const SourceFingerprint::Piece& piece) {
                                           return piece.range.offset == read.offset &&
                                                  piece.range.length == read.size;
                                       });
        checks += check ? 1 : 0;
        if (!check)
            others.push_back(read);
    }
    return others;
}

class ResumeTest : public ::testing::Test
{
protected:
    ResumeTest() { fs::create_directory(scratch.path() / "out"); }
    std::string out() const { return scratch / "out"; }
    std::string mapPath() const { return scratch / "out/.brindlecap/disc.bin.map"; }
    std::unique_ptr<MountedMedium> mount(const std::string& name, const std::string& description)
    {
        return std::make_unique<MountedMedium>(scratch.path() / name, description);
    }

    ScratchDir scratch;
};

struct StopCase
{
    const char* name;
    // What ends the first run, as a line of the medium's description: the
    // first read that covers an offset brings Ctrl-C (or SIGTERM), in the
    // middle of a healthy stretch or as a probe inside a dead one (the chunk
    // that starts at sector 1536 starts inside the stretch, with a probe of
    // that sector); or the disc is taken out.
    std::string event;
    int exitStatus;
    const char* says; // what the report says of the stopped file
};

std::string atRead(std::int64_t offset, const char* action)
{
    return "at-read disc.bin " + std::to_string(offset) + " " + action + "\n";
}

class InterruptedRunTest : public ResumeTest, public ::testing::WithParamInterface<StopCase>
{};

// A run stopped half-way, then the same command: the result is that of a
// run never stopped, the second run reads nothing the map says it has, and
// it reads the rest as a first run would, a chunk at a time.
TEST_P(InterruptedRunTest, TheSameCommandFinishesItWithoutReadingAnythingTwice)
{
    constexpr std::int64_t size = 8 * mib;
    constexpr std::int64_t cliChunk = 256 * 1024;
    const std::vector<Failing> bad{sectors(300, 1), sectors(1500, 600), sectors(3000, 3)};
    auto first = mount("first", describe(size, bad, GetParam().event));
    if (!first->unavailable().empty())
        GTEST_SKIP() << first->unavailable();
    const std::vector<std::string> command{"-q", "-b", "256", first->path("disc.bin"), out()};
    const auto stopped = cli(command);
    EXPECT_EQ(stopped.exitStatus, GetParam().exitStatus) << stopped.out << stopped.err;
    EXPECT_NE(stopped.out.find("stopped: " + first->path("disc.bin")), std::string::npos)
        << stopped.out;
    EXPECT_NE(stopped.out.find(GetParam().says), std::string::npos) << stopped.out;
    const auto atStop = mapAt(mapPath());
    const auto finished = atStop.rangesWith(RescueMap::Status::finished);
    EXPECT_FALSE(finished.empty());
    EXPECT_GT(atStop.bytesWith(RescueMap::Status::nonTried), 0) << "it stopped before the end";
    first.reset();

    // The disc goes back in (the same medium, mounted again).
    auto second = mount("second", describe(size, bad));
    auto again = command;
    again[3] = second->path("disc.bin");
    const auto resumed = cli(again);
    EXPECT_EQ(resumed.exitStatus, 1) << resumed.out << resumed.err;
    EXPECT_TRUE(readFile(out() + "/disc.bin") == expectedCopy(size, 7, bad));
    int awayFromBadChunks = 0;
    for (const auto& read : beyondFingerprint(second->reads(), atStop)) {
        EXPECT_FALSE(overlaps(read, finished))
            << "read again at " << read.offset << " (" << read.size << " bytes)";
        const ByteRange inChunks{read.offset / cliChunk * cliChunk,
                                 (read.offset + read.size + cliChunk - 1) / cliChunk * cliChunk -
                                     read.offset / cliChunk * cliChunk};
        awayFromBadChunks += std::none_of(bad.begin(), bad.end(), [&](const Failing& range) {
            return range.start < inChunks.end() && inChunks.offset < range.end;
        });
    }
    EXPECT_LE(awayFromBadChunks, size / cliChunk);
    const auto atEnd = mapAt(mapPath());
    EXPECT_EQ(atEnd.bytesWith(RescueMap::Status::nonTried), 0);
    EXPECT_EQ(atEnd.rangesWithout(RescueMap::Status::finished),
              (std::vector<ByteRange>{{300 * sector, sector},
                                      {1500 * sector, 600 * sector},
                                      {3000 * sector, 3 * sector}}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InterruptedRunTest,
    ::testing::Values(
        StopCase{"MidFile", atRead(3 * mib + 5, "interrupt"), 130, "(the copy keeps"},
        StopCase{"MidSalvage", atRead(1536 * sector + 5, "interrupt"), 130, "(the copy keeps"},
        StopCase{"Terminated", atRead(3 * mib + 5, "terminate"), 143, "(the copy keeps"},
        // The reads before it: six for the first 768 KiB and its bad sector,
        // then three chunks.
        StopCase{"DiscTakenOut", "eject-after 10 " + std::to_string(ENOMEDIUM) + "\n", 3,
                 ": the medium went away (No medium found)"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

// Cleaned, the disc gives some sectors it would not give before: the next
// run reads only the gaps, and fills exactly those that read now.
TEST_F(ResumeTest, ARetryAfterTheDiscIsCleanedFillsExactlyTheGaps)
{
    constexpr std::int64_t size = 4 * mib;
    const std::vector<Failing> stubborn{sectors(100, 2), sectors(900, 40)};
    auto dirty = stubborn;
    dirty.push_back(sectors(500, 1)); // dust that the cleaning takes off
    dirty.push_back(sectors(1200, 30));
    {
        auto medium = mount("dirty", describe(size, dirty));
        if (!medium->unavailable().empty())
            GTEST_SKIP() << medium->unavailable();
        EXPECT_EQ(cli({"-q", medium->path("disc.bin"), out()}).exitStatus, 1);
    }
    const auto first = mapAt(mapPath());
    const auto gaps = first.rangesWithout(RescueMap::Status::finished);
    auto cleaned = mount("cleaned", describe(size, stubborn));
    const auto retried = cli({"-q", cleaned->path("disc.bin"), out()});
    EXPECT_EQ(retried.exitStatus, 1) << retried.out << retried.err;
    EXPECT_TRUE(readFile(out() + "/disc.bin") == expectedCopy(size, 7, stubborn));
    const auto reads = beyondFingerprint(cleaned->reads(), first);
    ASSERT_FALSE(reads.empty());
    for (const auto& read : reads)
        EXPECT_TRUE(overlaps(read, gaps)) << "read outside the gaps at " << read.offset;
    EXPECT_EQ(mapAt(mapPath()).rangesWithout(RescueMap::Status::finished),
              (std::vector<ByteRange>{{100 * sector, 2 * sector}, {900 * sector, 40 * sector}}));
}

// The map is GNU ddrescue's: its own tools read it and count the same bad
// bytes as the report.
TEST_F(ResumeTest, DdrescuelogReadsTheMapAndCountsTheReportsBadBytes)
{
    if (::access(ddrescuelog, X_OK) != 0)
        GTEST_SKIP() << "GNU ddrescuelog (Debian's gddrescue) is not installed";
    const std::vector<Failing> bad{sectors(10, 1), sectors(700, 300), sectors(1900, 5)};
    auto medium = mount("medium", describe(4 * mib, bad));
    if (!medium->unavailable().empty())
        GTEST_SKIP() << medium->unavailable();
    const auto run = cli({"-b", "2048", medium->path("disc.bin"), out()});
    ASSERT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_NE(run.out.find("copied with 626,688 bytes unreadable"), std::string::npos) << run.out;
    const auto status = runProcess(ddrescuelog, {"--show-status", mapPath()});
    EXPECT_EQ(status.exitStatus, 0) << status.out << status.err;
    EXPECT_NE(status.out.find("current status: finished"), std::string::npos) << status.out;
    const auto listed = runProcess(ddrescuelog, {"-b", "2048", "--list-blocks=-/", mapPath()});
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 306) << listed.out;
}

// Another disc with a file of the same name (the same camera's folder, a
// sequel DVD), or the same disc's file grown or shrunk since: the copy from
// the first disc, and its map, stay exactly as they are.
TEST_F(ResumeTest, ACopyRescuedFromAnotherSourceIsKept)
{
    const struct
    {
        const char* name;
        std::string description;
        int reads;               // of the second source: only one piece, to tell the disc
        bool firstWhole = false; // its map a line of the folder's finished list
    } cases[] = {
        {"same name, size and time, other bytes", "file disc.bin 2097152 8\n", 1},
        {"shrunk to nothing", "file disc.bin 0 7\n", 0},
        {"grown", "file disc.bin 3145728 7\n", 0},
        {"other bytes after a first copy rescued whole", "file disc.bin 2097152 8\n", 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto number = std::to_string(&c - cases);
        const auto into = scratch / ("out-" + number);
        fs::create_directory(into);
        {
            auto first = mount("first-" + number,
                               describe(2 * mib, c.firstWhole ? std::vector<Failing>{}
                                                              : std::vector{sectors(100, 50)}));
            if (!first->unavailable().empty())
                GTEST_SKIP() << first->unavailable();
            EXPECT_EQ(cli({"-q", first->path("disc.bin"), into}).exitStatus, c.firstWhole ? 0 : 1);
        }
        const auto copy = readFile(into + "/disc.bin");
        const auto mapFile =
            into + (c.firstWhole ? "/.brindlecap/finished.list" : "/.brindlecap/disc.bin.map");
        const auto map = slurp(mapFile);
        auto other = mount("other-" + number, c.description);
        const auto run = cli({"-q", other->path("disc.bin"), into});
        EXPECT_EQ(run.exitStatus, 3) << run.out << run.err;
        EXPECT_NE(run.out.find("not copied: " + other->path("disc.bin") + ": the copy in " + into +
                               " was rescued from a different source; it is kept: copy into "
                               "another folder or remove it\n"),
                  std::string::npos)
            << run.out;
        EXPECT_TRUE(readFile(into + "/disc.bin") == copy);
        EXPECT_EQ(slurp(mapFile), map);
        EXPECT_EQ(other->reads().size(), static_cast<std::size_t>(c.reads));
    }
}

TEST_F(ResumeTest, NoMapIsWrittenIntoTheSourcesFolderAndNoneAtAllWithNoMap)
{
    const auto hidden = scratch.path() / "out/.brindlecap";
    fs::create_directories(hidden);
    writeFile((hidden / "a.bin").string(), patternBytes(5000));
    const auto beside = cli({"-q", (hidden / "a.bin").string(), out()});
    EXPECT_EQ(beside.exitStatus, 0) << beside.err;
    EXPECT_NE(beside.err.find("it would go into the source's folder"), std::string::npos)
        << beside.err;
    EXPECT_FALSE(fs::exists(hidden / "a.bin.map"));
    EXPECT_FALSE(fs::exists(hidden / "finished.list"));

    writeFile(scratch / "b.bin", patternBytes(5000));
    EXPECT_EQ(cli({"-q", "--no-map", scratch / "b.bin", out()}).exitStatus, 0);
    EXPECT_FALSE(fs::exists(hidden / "b.bin.map"));
    EXPECT_FALSE(fs::exists(hidden / "finished.list"));
    EXPECT_EQ(cli({"-q", scratch / "b.bin", out()}).exitStatus, 0);
    EXPECT_EQ(mapAt(hidden / "b.bin.map").bytesWith(RescueMap::Status::finished), 5000);
}

TEST_F(ResumeTest, AFolderIsCopiedAsAWholeAndWhatIsNotAFileIsReported)
{
    const auto tree = scratch.path() / "disc";
    fs::create_directories(tree / "sub/deeper");
    writeFile((tree / "a.txt").string(), patternBytes(1000, 1));
    writeFile((tree / "sub/b.txt").string(), patternBytes(2000, 2));
    writeFile((tree / "sub/deeper/c.txt").string(), patternBytes(3000, 3));
    writeFile((scratch.path() / "outside.txt").string(), patternBytes(10, 4));
    fs::create_symlink("sub/b.txt", tree / "link-in");
    fs::create_symlink(scratch.path() / "outside.txt", tree / "link-out");
    fs::create_symlink("sub", tree / "link-folder");
    ASSERT_EQ(::mkfifo((tree / "pipe").c_str(), 0644), 0);

    const auto run = cli({"-r", tree.string(), out()});
    EXPECT_EQ(run.exitStatus, 3) << run.out << run.err;
    EXPECT_EQ(readFile(out() + "/disc/a.txt"), patternBytes(1000, 1));
    EXPECT_EQ(readFile(out() + "/disc/sub/b.txt"), patternBytes(2000, 2));
    EXPECT_EQ(readFile(out() + "/disc/sub/deeper/c.txt"), patternBytes(3000, 3));
    EXPECT_EQ(readFile(out() + "/disc/link-in"), patternBytes(2000, 2));
    EXPECT_FALSE(fs::exists(out() + "/disc/link-out"));
    EXPECT_FALSE(fs::exists(out() + "/disc/link-folder"));
    EXPECT_FALSE(fs::exists(out() + "/disc/pipe"));
    for (const auto& line : {"not copied: " + (tree / "link-out").string() +
                                 ": a symbolic link out of the folder being copied, not followed",
                             "not copied: " + (tree / "link-folder").string() +
                                 ": a symbolic link to a folder, not followed",
                             "not copied: " + (tree / "pipe").string() + ": not a regular file"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    // Name order: a.txt, link-in, pipe, then the subfolder's files.
    EXPECT_LT(run.out.find("/disc/a.txt"), run.out.find("/disc/link-in"));
    EXPECT_LT(run.out.find("/disc/link-in"), run.out.find("/disc/sub/b.txt"));

    const auto intoItself = cli({"-r", tree.string(), (tree / "sub").string()});
    EXPECT_EQ(intoItself.exitStatus, 2);
    EXPECT_NE(intoItself.err.find("into itself"), std::string::npos) << intoItself.err;
}

// A chain of folders below `top`, `depth` deep, each named "d", reached by
// descriptor (its path is longer than any the system takes); made first with
// `make`. Gives the bottom folder's descriptor.
int folderChain(const std::string& top, int depth, bool make)
{
    int folder = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < depth && folder >= 0; ++level) {
        if (make)
            ::mkdirat(folder, "d", 0755);
        const int next = ::openat(folder, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        folder = next;
    }
    return folder;
}

// A tree of any shape, with few descriptors to spare (a desktop's default
// is 1,024): a chain 10,000 folders deep, whose paths are longer than any
// the system takes, beside 150 folders of one photograph each. Every copy
// is made, and every copy gets its map (a line in its folder's finished
// list, each rescued whole at once).
TEST_F(ResumeTest, ATreeOfAnyShapeIsCopiedWholeWithItsMaps)
{
    constexpr int depth = 10000;
    constexpr int folders = 150;
    const auto tree = scratch.path() / "camera";
    for (int folder = 0; folder < folders; ++folder) {
        fs::create_directories(tree / std::to_string(folder));
        writeFile((tree / std::to_string(folder) / "IMG.JPG").string(), patternBytes(100, 1));
    }
    const int bottom = folderChain(tree, depth, true);
    ASSERT_GE(bottom, 0);
    const int file = ::openat(bottom, "bottom.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::write(file, "the bottom\n", 11), 11);
    ::close(file);
    ::close(bottom);

    const auto run =
        runProcess("/usr/bin/prlimit", {"--nofile=48", BRINDLECAP_CLI, "-q", "-r", tree, out()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    for (int folder = 0; folder < folders; ++folder)
        EXPECT_EQ(mapAt(out() + "/camera/" + std::to_string(folder) + "/.brindlecap/IMG.JPG.map")
                      .bytesWith(RescueMap::Status::finished),
                  100)
            << folder;
    const int copied = folderChain(out() + "/camera", depth, false);
    ASSERT_GE(copied, 0);
    const int copy = ::openat(copied, "bottom.txt", O_RDONLY | O_CLOEXEC);
    char text[32] = {};
    EXPECT_EQ(::read(copy, text, sizeof text), 11);
    EXPECT_EQ(std::string(text), "the bottom\n");
    EXPECT_EQ(::faccessat(copied, ".brindlecap/finished.list", F_OK, 0), 0);
    ::close(copy);
    ::close(copied);
}

// The easy data of every file before anyone's hard parts: a folder copied
// whole whose first file has a dead stretch and whose later folder holds a
// healthy file. The copy pass alone (--passes=copy) leaves the inside of the
// stretch to scraping; a full run stopped at scraping's first read has the
// later folder's file already copied; and the copy pass, then the same
// command without --passes, ends as one full run ends, in as many failing
// reads (a file the copy pass left nothing to scrape in is not retried).
TEST_F(ResumeTest, EveryFilesEasyDataComesBeforeAnyFilesScraping)
{
    constexpr std::int64_t size = 2 * mib;
    const std::vector<Failing> dead{sectors(200, 300)};
    const auto lone = sectors(49, 1);
    const auto loneFile = "file lone.bin 300000 5\nhard lone.bin " + std::to_string(lone.start) +
                          " " + std::to_string(lone.end) + "\n";
    const auto disc = [&](const std::string& name, const std::string& extra = {}) {
        auto medium = mount(name, describe(size, dead, "writable\n" + loneFile + extra));
        if (medium->unavailable().empty()) {
            fs::create_directory(medium->path("z"));
            writeFile(medium->path("z/healthy.bin"), patternBytes(300000, 3));
        }
        return medium;
    };
    const auto run = [&](MountedMedium& medium, const std::string& into,
                         std::vector<std::string> options) {
        fs::create_directories(into);
        options.insert(options.end(), {"-q", "-r", medium.path(""), into});
        return cli(options);
    };
    const auto copyOf = [](const std::string& into, const char* name) {
        return readFile(into + "/medium/" + name);
    };

    auto first = disc("first");
    if (!first->unavailable().empty())
        GTEST_SKIP() << first->unavailable();
    const auto stepwise = scratch / "stepwise";
    const auto copyPass = run(*first, stepwise, {"--passes=copy"});
    EXPECT_EQ(copyPass.exitStatus, 1) << copyPass.out << copyPass.err;
    EXPECT_EQ(copyOf(stepwise, "z/healthy.bin"), patternBytes(300000, 3));
    const auto unscraped = mapAt(stepwise + "/medium/.brindlecap/disc.bin.map")
                               .rangesWith(RescueMap::Status::nonScraped);
    ASSERT_FALSE(unscraped.empty()) << "the copy pass left the stretch's inside to scraping";
    // A sector of it that no read of the copy pass touched.
    const auto copyReads = first->reads();
    std::int64_t scrapedOnly = -1;
    for (const auto& range : unscraped)
        for (auto at = range.offset; at < range.end() && scrapedOnly < 0; at += sector)
            if (std::none_of(copyReads.begin(), copyReads.end(), [&](const MediumRead& read) {
                    return overlaps(read, {{at, sector}});
                }))
                scrapedOnly = at;
    ASSERT_GE(scrapedOnly, 0);
    EXPECT_EQ(run(*first, stepwise, {}).exitStatus, 1);
    const auto stepwiseFailing = first->failingReads();
    first.reset();

    // Stopped at scraping's first read: the later folder is done by then.
    auto second =
        disc("second", "at-read disc.bin " + std::to_string(scrapedOnly) + " terminate\n");
    const auto stopped = run(*second, scratch / "stopped", {});
    EXPECT_EQ(stopped.exitStatus, 143) << stopped.out << stopped.err;
    EXPECT_NE(stopped.out.find("copied: " + second->path("z/healthy.bin")), std::string::npos)
        << stopped.out;
    second.reset();

    auto third = disc("third");
    const auto whole = scratch / "whole";
    EXPECT_EQ(run(*third, whole, {}).exitStatus, 1);
    for (const auto* name : {"disc.bin", "lone.bin", "z/healthy.bin"})
        EXPECT_TRUE(copyOf(stepwise, name) == copyOf(whole, name)) << name;
    EXPECT_EQ(stepwiseFailing, third->failingReads());
    EXPECT_TRUE(copyOf(whole, "disc.bin") == expectedCopy(size, 7, dead));
}

// A rescue copied on (a copy's folder copied elsewhere, say): its own maps
// are bookkeeping, not data, and never land where this run keeps its maps.
TEST_F(ResumeTest, AnEarlierRescueInsideAFolderIsNotCopiedOverThisRunsMaps)
{
    const auto tree = scratch.path() / "disc";
    fs::create_directories(tree);
    writeFile((tree / "a.bin").string(), patternBytes(50000, 1));
    ASSERT_EQ(cli({"-q", "-r", tree.string(), out()}).exitStatus, 0);
    const auto rescued = out() + "/disc";
    const auto onward = scratch / "onward";
    fs::create_directory(onward);
    const std::vector<std::string> command{"-r", rescued, onward};
    const auto run = cli(command);
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("passed over: " + rescued +
                           "/.brindlecap: the rescue maps of an earlier copy, not data: not "
                           "copied\n"),
              std::string::npos)
        << run.out;
    const auto map = mapAt(onward + "/disc/.brindlecap/a.bin.map");
    EXPECT_EQ(map.notes.at("source"), rescued + "/a.bin") << "this run's own map";
    EXPECT_EQ(map.bytesWith(RescueMap::Status::finished), 50000);
    // The same command again trusts this run's map: nothing is copied afresh.
    const auto again = cli(command);
    EXPECT_EQ(again.exitStatus, 0);
    EXPECT_EQ(again.err.find("afresh"), std::string::npos) << again.err;
}

TEST_F(ResumeTest, AwkwardNamesStayOnOneLineAndTheShellReadsThemBack)
{
    const std::string names[] = {"new\nline.bin",
                                 "bad\xFF"
                                 "byte.bin",
                                 "tab\there.bin"};
    std::vector<std::string> sources;
    for (const auto& name : names) {
        sources.push_back(scratch / name);
        writeFile(sources.back(), patternBytes(100));
    }
    auto arguments = sources;
    arguments.insert(arguments.begin(), "-q");
    arguments.push_back(out());
    const auto run = cli(arguments);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    std::istringstream lines(run.out);
    int copied = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("copied: ", 0) != 0)
            continue;
        ++copied;
        // "copied: SOURCE -> DESTINATION (N bytes)": SOURCE back through the shell.
        const auto source = line.substr(8, line.find(" -> ") - 8);
        const auto echoed = runProcess("/bin/bash", {"-c", "printf %s " + source});
        EXPECT_NE(std::find(sources.begin(), sources.end(), echoed.out), sources.end()) << line;
    }
    EXPECT_EQ(copied, 3);
    // Their maps are lines of one file, and read back whole.
    for (const auto& name : names)
        EXPECT_EQ(mapAt(out() + "/.brindlecap/" + name + ".map").size(), 100) << name;

    const auto json =
        cli({"-q", "--json", "--report=" + scratch / "report.json", sources[0], out()});
    EXPECT_EQ(json.exitStatus, 0);
    EXPECT_EQ(slurp(scratch / "report.json"), json.out);
    const auto parsed = runProcess(
        "/usr/bin/python3",
        {"-c",
         "import json,sys; r=json.load(open(sys.argv[1])); "
         "print(r['exit_status'], r['files'][0]['status'], repr(r['files'][0]['source']))",
         scratch / "report.json"});
    EXPECT_EQ(parsed.out, "0 copied '" + scratch / "new\\nline.bin" + "'\n") << parsed.err;
}

} // namespace
} // namespace brindlecap::testing
