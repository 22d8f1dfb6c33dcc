// SPDX-License-Identifier: GPL-3.0-or-later
// A rescue map is a promise about one copy: what it marks rescued is on the
// disk in that very file, unchanged since. Write-backs and closes that fail
// on a FUSE destination, copies changed or swapped behind the map's back,
// things that are no map where maps live, two runs into one folder, and
// copies on their way to the disk while the run goes on.
#include "media_job.h"
#include "medium_pattern.h"
#include "test_mounts.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <optional>
#include <span>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace brindlecap::testing {
namespace {

namespace fs = std::filesystem;
constexpr std::int64_t kib = 1024;

bool isFifo(const std::string& path)
{
    struct stat status
    {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISFIFO(status.st_mode);
}

// Whether all of a file's blocks have their place on the disk, none of them
// still only in memory, waiting for the file system to allocate them (ext4's
// and XFS's delayed allocation); nothing where the file system cannot say.
std::optional<bool> allocatedOnTheDisk(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    constexpr unsigned extentsAtMost = 64;
    std::vector<std::byte> request(sizeof(fiemap) + extentsAtMost * sizeof(fiemap_extent));
    auto* map = reinterpret_cast<fiemap*>(request.data());
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_extent_count = extentsAtMost;
    const bool answered = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0;
    ::close(fd);
    if (!answered)
        return std::nullopt;
    const std::span extents(map->fm_extents, map->fm_mapped_extents);
    return !extents.empty() && std::none_of(extents.begin(), extents.end(), [](const auto& extent) {
        return (extent.fe_flags & (FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_UNKNOWN)) != 0;
    });
}

class MapPromiseTest : public ::testing::Test
{
protected:
    MapPromiseTest() { fs::create_directory(scratch.path() / "out"); }
    std::string out() const { return scratch / "out"; }
    std::string source(const std::string& name, std::size_t size)
    {
        writeFile(scratch / name, patternBytes(size, 3));
        return scratch / name;
    }

    ScratchDir scratch;
};

// A destination whose write-back fails (fsync says EIO), or whose close does:
// the run says so and promises nothing of it, and the same command later
// writes it again.
TEST_F(MapPromiseTest, WhatNeverReachedTheDiskIsNotWrittenAndTheNextRunWritesIt)
{
    const struct
    {
        const char* name; // also the medium's folder
        const char* fault;
        std::int64_t notWritten;
        const char* notWrittenText;
    } cases[] = {
        {"lost-write-back", "fail-fsync out/a.bin 5 1", 600 * kib + 7, "614,407"},
        {"failing-close", "fail-flush out/a.bin 5 1", 256 * kib, "262,144"},
    };
    const auto a = source("a.bin", 600 * kib + 7);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MountedMedium medium(scratch.path() / c.name, std::string("writable\n") + c.fault + "\n");
        if (!medium.unavailable().empty())
            GTEST_SKIP() << medium.unavailable();
        const auto into = medium.path("out");
        fs::create_directory(into);
        const std::vector<std::string> command{"-q", "-b", "256", a, into};
        const auto failed = runCli(command);
        EXPECT_EQ(failed.exitStatus, 3) << failed.out << failed.err;
        EXPECT_NE(failed.out.find("not written in full: " + a + " -> " + into +
                                  "/a.bin: Input/output error (" + c.notWrittenText +
                                  " bytes not written)"),
                  std::string::npos)
            << failed.out;
        const auto map = mapAt(into + "/.brindlecap/a.bin.map");
        EXPECT_EQ(map.bytesWith(RescueMap::Status::finished), 600 * kib + 7 - c.notWritten);

        const auto again = runCli(command);
        EXPECT_EQ(again.exitStatus, 0) << again.out << again.err;
        EXPECT_NE(again.out.find("copied: " + a), std::string::npos) << again.out;
        EXPECT_TRUE(readFile(into + "/a.bin") == readFile(a));
    }
}

// Truncated, written into with its time set back, or replaced by another
// file: the copy is no longer what its map describes, so the same command
// copies it afresh instead of calling it copied.
TEST_F(MapPromiseTest, ACopyChangedSinceItsRunIsCopiedAfresh)
{
    const auto a = source("a.bin", 300 * kib);
    const auto copy = out() + "/a.bin";
    const std::string changed = "the copy was changed since the map was saved";
    const struct
    {
        const char* name;
        std::function<void()> change;
        std::string why;
    } cases[] = {
        {"truncated", [&] { fs::resize_file(copy, 0); }, changed},
        {"written into, its time set back",
         [&] {
             struct stat before
             {};
             ::stat(copy.c_str(), &before);
             const int fd = ::open(copy.c_str(), O_WRONLY);
             EXPECT_EQ(::pwrite(fd, "xxxx", 4, 1000), 4);
             ::close(fd);
             const timespec times[2] = {before.st_atim, before.st_mtim};
             ::utimensat(AT_FDCWD, copy.c_str(), times, 0);
         },
         changed},
        {"replaced by another file",
         [&] {
             writeFile(copy + ".other", patternBytes(300 * kib, 9));
             fs::rename(copy + ".other", copy);
         },
         "the copy it describes is not there"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(runCli({"-q", a, out()}).exitStatus, 0);
        c.change();
        const auto again = runCli({"-q", a, out()});
        EXPECT_EQ(again.exitStatus, 0) << again.out << again.err;
        // Rescued whole at once: its map is its line in the folder's list.
        EXPECT_NE(again.err.find(out() + "/.brindlecap/finished.list does not match " + copy +
                                 " (" + c.why + "); copying that file afresh"),
                  std::string::npos)
            << again.err;
        EXPECT_TRUE(readFile(copy) == readFile(a));
    }
}

// The copy renamed away mid-run and an empty file put in its place: what was
// written went into the renamed file, so nothing of it is promised for the
// new one, and the same command then copies the whole file.
TEST_F(MapPromiseTest, ACopySwappedMidRunIsNotRecordedAsRescued)
{
    constexpr std::int64_t size = 2 << 20;
    const auto copy = out() + "/disc.bin";
    std::string swapped;
    {
        MountedMedium medium(scratch.path() / "first",
                             "file disc.bin " + std::to_string(size) + " 7\ndirect-io\n" +
                                 "at-read disc.bin 1048576 replace " + copy + "\n");
        if (!medium.unavailable().empty())
            GTEST_SKIP() << medium.unavailable();
        const auto run = runCli({"-q", medium.path("disc.bin"), out()});
        EXPECT_EQ(run.exitStatus, 3) << run.out << run.err;
        EXPECT_NE(run.out.find("the destination was replaced during the copy"), std::string::npos)
            << run.out;
        swapped = slurp(copy + ".moved");
    }
    MountedMedium medium(scratch.path() / "second",
                         "file disc.bin " + std::to_string(size) + " 7\ndirect-io\n");
    const auto again = runCli({"-q", medium.path("disc.bin"), out()});
    EXPECT_EQ(again.exitStatus, 0) << again.out << again.err;
    EXPECT_TRUE(readFile(copy) == mediumBytes(size, 7));
    EXPECT_EQ(slurp(copy + ".moved"), swapped) << "the file renamed away is left alone";
}

// Nothing where the maps live can make the program wait (a FIFO blocks an
// open for ever) or lead it out of the destination (a link).
TEST_F(MapPromiseTest, NothingWhereMapsLiveMakesTheRunWaitOrLeadsItAway)
{
    const auto a = source("a.bin", 100 * kib);
    const auto maps = out() + "/.brindlecap";
    const auto elsewhere = scratch / "elsewhere";
    const struct
    {
        const char* name;
        std::function<void()> plant;
        std::string message;
        std::string fifo; // still a FIFO afterwards
    } cases[] = {
        {"a FIFO as the map",
         [&] {
             fs::create_directory(maps);
             ::mkfifo((maps + "/a.bin.map").c_str(), 0644);
         },
         "no rescue map for " + a + ": " + maps + "/a.bin.map: it is not a plain file",
         maps + "/a.bin.map"},
        // A first map goes straight to its place; one that is there is
        // replaced through the new one.
        {"a FIFO as the new map",
         [&] {
             fs::create_directory(maps);
             std::ofstream(maps + "/a.bin.map") << "no map\n";
             ::mkfifo((maps + "/a.bin.map.new").c_str(), 0644);
         },
         "cannot save the rescue map " + maps + "/a.bin.map.new: it is not a plain file",
         maps + "/a.bin.map.new"},
        // A copy rescued whole is listed; where the list does not read, it
        // keeps a map of its own.
        {"a FIFO as the finished list",
         [&] {
             fs::create_directory(maps);
             ::mkfifo((maps + "/finished.list").c_str(), 0644);
         },
         maps + "/finished.list: it is not a plain file; the copies it lists are copied afresh",
         maps + "/finished.list"},
        {"a FIFO as the new finished list",
         [&] {
             fs::create_directory(maps);
             std::ofstream(maps + "/finished.list") << "";
             ::mkfifo((maps + "/finished.list.new").c_str(), 0644);
         },
         "cannot save the rescue map " + maps + "/finished.list.new: it is not a plain file",
         maps + "/finished.list.new"},
        {"a link as the maps' folder",
         [&] {
             fs::create_directory(elsewhere);
             fs::create_directory_symlink(elsewhere, maps);
         },
         "no rescue maps in " + out() + ": " + maps + ": it is not a folder", ""},
        {"a FIFO as the maps' folder", [&] { ::mkfifo(maps.c_str(), 0644); },
         "no rescue maps in " + out() + ": " + maps + ": it is not a folder", maps},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(maps);
        fs::remove(out() + "/a.bin");
        c.plant();
        const auto run = runCli({"-q", a, out()});
        EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
        EXPECT_NE(run.err.find("brindlecap-cli: " + c.message + "\n"), std::string::npos)
            << run.err;
        EXPECT_TRUE(readFile(out() + "/a.bin") == readFile(a));
        if (!c.fifo.empty()) {
            EXPECT_TRUE(isFifo(c.fifo)) << c.fifo;
        }
        EXPECT_TRUE(!fs::exists(elsewhere) || fs::is_empty(elsewhere));
    }
}

// A second run into a folder while one copies into it would share its maps:
// it stops at once and writes nothing. Once the first has ended, it can go.
TEST_F(MapPromiseTest, OneRunAtATimeWritesIntoAFolder)
{
    MountedMedium medium(scratch.path() / "slow",
                         "file disc.bin 1048576 7\ndirect-io\ndelay 200\nhard disc.bin 0 8192\n");
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    RunningProcess first(BRINDLECAP_CLI, {"-q", medium.path("disc.bin"), out()});
    // It holds the folder before it reads anything.
    for (int wait = 0; wait < 3000 && medium.reads().empty(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(medium.reads().empty()) << "the first run never read";
    const auto b = source("b.bin", 1000);
    const auto second = runCli({"-q", b, out()});
    EXPECT_EQ(second.exitStatus, 2);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(second.err, "brindlecap-cli: another brindlecap-cli is copying into " + out() + "\n");
    EXPECT_FALSE(fs::exists(out() + "/b.bin"));
    EXPECT_EQ(first.wait().exitStatus, 1);
    EXPECT_EQ(runCli({"-q", b, out()}).exitStatus, 0);
}

// A copy goes on its way to the disk as soon as it is written, while the run
// reads on: a drive that hangs on the next file holds nothing back in memory,
// and the batch's sync finds little left to wait for.
TEST_F(MapPromiseTest, ACopyGoesToTheDiskWhileTheNextFileIsRead)
{
    const auto probe = scratch / "probe.bin";
    writeFile(probe, patternBytes(64 * kib, 1));
    if (allocatedOnTheDisk(probe).value_or(true))
        GTEST_SKIP() << "the file system of " << scratch.path()
                     << " gives a file its place on the disk as it is written: nothing to wait for";
    MountedMedium medium(scratch.path() / "medium",
                         "file a.bin 4194304 7\nfile b.bin 2048 9\ndirect-io\ndelay 2500\n"
                         "hard b.bin 0 2048\n");
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    const auto copy = out() + "/a.bin";
    RunningProcess run(BRINDLECAP_CLI, {"-q", "-b", "256", "--passes=copy", medium.path("a.bin"),
                                        medium.path("b.bin"), out()});
    const auto waitFor = [](std::chrono::milliseconds most, const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + most;
        while (!done() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return done();
    };
    ASSERT_TRUE(waitFor(std::chrono::seconds(30), [&] {
        return fs::exists(copy) && fs::file_size(copy) == 4194304;
    })) << "a.bin was never copied";
    // The read of b.bin fails after two and a half seconds; only then would a batch
    // of copies be synced.
    EXPECT_TRUE(
        waitFor(std::chrono::seconds(2), [&] { return allocatedOnTheDisk(copy).value_or(false); }));
    EXPECT_EQ(run.wait().exitStatus, 1);
    EXPECT_TRUE(readFile(copy) == mediumBytes(4194304, 7));
}

} // namespace
} // namespace brindlecap::testing
