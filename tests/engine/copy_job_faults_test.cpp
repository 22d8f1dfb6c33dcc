// SPDX-License-Identifier: GPL-3.0-or-later
#include "copy_error.h"
#include "job_fixture.h"
#include "remembered_rescues.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace brindlecap::testing {
namespace {

using FaultsTest = JobFixture;

// The source's bytes with zeros over the given ranges (offsets from 0).
Bytes withZeros(Bytes bytes, std::initializer_list<ByteRange> ranges)
{
    for (const auto& range : ranges)
        std::fill(bytes.begin() + range.offset, bytes.begin() + range.end(), std::byte{0});
    return bytes;
}

TEST_F(FaultsTest, AnUnreadableStretchBecomesZerosAndEveryOtherByteIsKept)
{
    const auto path = source("scratched.iso", 100001);
    files.badRanges = {{path, 40000, 100}};
    queueAll({path});
    startCopy(0);
    runToEnd();
    EXPECT_EQ(readFile(destination("scratched.iso")), withZeros(readFile(path), {{40000, 100}}));
    EXPECT_EQ(text(Field::lblPercent), "100 %");
    const auto& outcome = job.report().files.at(0);
    EXPECT_EQ(outcome.status(), FileStatus::copiedWithZeros);
    EXPECT_EQ(outcome.unreadable, (std::vector<ByteRange>{{40000, 100}}));
    EXPECT_EQ(outcome.firstReadError, std::errc::io_error);
    EXPECT_EQ(job.report().verdict(), JobVerdict::unreadableAsZeros);
}

TEST_F(FaultsTest, UnreadableRangesAtTheEdgesAndAcrossChunksLeaveGoodBytesAlone)
{
    const auto path = source("edges.bin", 5 * kib32 + 10);
    // First byte, across the boundary of chunks 2 and 3, and the last chunk.
    files.badRanges = {{path, 0, 1}, {path, 2 * kib32 - 5, 10}, {path, 5 * kib32 + 3, 1}};
    queueAll({path});
    startCopy(0);
    runToEnd();
    const auto expected =
        withZeros(readFile(path), {{0, 1}, {2 * kib32 - 5, 10}, {5 * kib32 + 3, 1}});
    EXPECT_EQ(readFile(destination("edges.bin")), expected);
    // The stretch across two chunks is reported as one.
    EXPECT_EQ(job.report().files.at(0).unreadable,
              (std::vector<ByteRange>{{0, 1}, {2 * kib32 - 5, 10}, {5 * kib32 + 3, 1}}));
    EXPECT_EQ(job.report().files.at(0).unreadableBytes, 12);
}

// What could not be read never overwrites what the destination holds: a copy
// made again keeps an earlier copy's bytes there, a fresh one has zeros.
TEST_F(FaultsTest, UnreadBytesLeaveTheDestinationsBytesAndAreZerosOnlyInAFreshCopy)
{
    const auto path = source("again.iso", 3 * kib32 + 100);
    const auto original = readFile(path);
    struct Case
    {
        const char* name;
        Bytes before; // the destination before the copy; empty: none
        Bytes after;
        std::vector<ByteRange> kept;
    } cases[] = {
        {"fresh", {}, withZeros(original, {{100, 50}, {kib32 + 10, kib32}, {3 * kib32, 100}}), {}},
        {"earlier copy", original, original, {{100, 50}, {kib32 + 10, kib32}, {3 * kib32, 100}}},
        // Zeros an earlier try left where it could not read are no data.
        {"earlier copy with zeros where it could not read",
         withZeros(original, {{kib32, kib32 + 10}}),
         withZeros(original, {{kib32 + 10, kib32}}),
         {{100, 50}, {3 * kib32, 100}}},
        {"shorter earlier copy",
         Bytes(original.begin(), original.begin() + kib32 + 20),
         withZeros(original, {{kib32 + 20, kib32 - 10}, {3 * kib32, 100}}),
         {{100, 50}, {kib32 + 10, 10}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(destination("again.iso"));
        if (!c.before.empty())
            writeFile(destination("again.iso"), c.before);
        // Across a chunk boundary, and the last chunk's very end.
        files.badRanges = {{path, 100, 50}, {path, kib32 + 10, kib32}, {path, 3 * kib32, 100}};
        queue = PathList();
        queueAll({path});
        job.mnu_New_Click();
        startCopy(0);
        runToEnd();
        EXPECT_EQ(readFile(destination("again.iso")), c.after);
        EXPECT_EQ(job.report().files.at(0).keptEarlier, c.kept);
        EXPECT_EQ(job.report().files.at(0).status(), FileStatus::copiedWithZeros);
    }
}

TEST_F(FaultsTest, ASourceThatWillNotOpenIsWrittenAsZerosOfItsMeasuredLength)
{
    const auto path = source("gone.bin", 70000);
    files.unopenable = {path};
    queueAll({path});
    startCopy(0);
    runToEnd();
    EXPECT_EQ(readFile(destination("gone.bin")), Bytes(70000));
    EXPECT_EQ(text(Field::lblPercent), "100 %");
    EXPECT_EQ(job.report().files.at(0).unreadableBytes, 70000);
}

TEST_F(FaultsTest, ADestinationThatCannotBeWrittenRunsToAnIncompleteFinish)
{
    const auto path = source("a.bin", 3 * kib32);
    files.unopenable = {destination("a.bin")};
    queueAll({path});
    startCopy(0);
    EXPECT_EQ(runToEnd(), 4);
    EXPECT_FALSE(std::filesystem::exists(destination("a.bin")));
    EXPECT_EQ(text(Field::lblByteDone), "........Finished........");
    EXPECT_EQ(text(Field::lblPercent), "Incomplete");
    const auto& outcome = job.report().files.at(0);
    EXPECT_EQ(outcome.status(), FileStatus::notWrittenInFull);
    EXPECT_EQ(outcome.unwrittenBytes, 3 * kib32);
}

TEST_F(FaultsTest, AMissingDestinationFolderMakesNoFileAndNoClaimOfSuccess)
{
    const auto path = source("a.bin", 1000);
    queueAll({path});
    options.select(0);
    fields.setText(Field::lblDir, (scratch.path() / "no-such-folder").string());
    job.cmdCopy_Click();
    runToEnd();
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "no-such-folder"));
    EXPECT_EQ(text(Field::lblPercent), "Incomplete");
    EXPECT_EQ(job.report().files.at(0).firstWriteError, std::errc::no_such_file_or_directory);
}

TEST_F(FaultsTest, AFullDiskKeepsTheBytesThatFitAndTheJobGoesOn)
{
    const auto full = source("full.bin", 100001);
    const auto next = source("next.bin", 10);
    files.destinationLimit = 50000;
    queueAll({full, next});
    startCopy(0);
    runToEnd();
    auto expected = readFile(full);
    expected.resize(50000);
    EXPECT_EQ(readFile(destination("full.bin")), expected);
    EXPECT_EQ(readFile(destination("next.bin")), readFile(next));
    EXPECT_EQ(text(Field::lblPercent), "Incomplete");
    EXPECT_EQ(job.report().files.at(0).unwrittenBytes, 50001);
    EXPECT_EQ(job.report().files.at(0).firstWriteError, std::errc::no_space_on_device);
    EXPECT_EQ(job.report().files.at(1).status(), FileStatus::copied);
}

TEST_F(FaultsTest, SourcesThatCannotBeMeasuredArePassedOverWithoutAnyWrite)
{
    const auto missing = scratch / "missing.bin";
    const auto folder = scratch / "folder";
    std::filesystem::create_directory(folder);
    const auto fifo = scratch / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto good = source("good.bin", 100);
    queueAll({missing, folder, good, fifo});
    startCopy();
    // Entry 0 is described but nothing is written for it.
    EXPECT_EQ(text(Field::lblFile), missing);
    EXPECT_EQ(text(Field::lblFileName), "missing.bin");
    EXPECT_EQ(text(Field::lblFileSize), "");
    EXPECT_TRUE(controls.isEnabled(Control::Timer1));

    job.Timer1_Timer(); // the tick after a passed-over file moves on
    EXPECT_EQ(text(Field::lblFile), folder);
    job.Timer1_Timer();
    EXPECT_EQ(text(Field::lblFile), good);
    runToEnd();
    EXPECT_EQ(readFile(destination("good.bin")), readFile(good));
    for (const auto& name : {"missing.bin", "folder", "pipe"})
        EXPECT_FALSE(std::filesystem::exists(destination(name))) << name;
    EXPECT_EQ(files.destinationsOpened, std::vector<std::string>{destination("good.bin")});
    EXPECT_EQ(text(Field::lblPercent), "Incomplete");
    const auto& report = job.report().files;
    ASSERT_EQ(report.size(), 4u);
    EXPECT_EQ(report[0].whyNotCopied, std::errc::no_such_file_or_directory);
    EXPECT_EQ(report[1].whyNotCopied, CopyError::notRegularFile);
    EXPECT_EQ(report[3].whyNotCopied, CopyError::notRegularFile);
}

TEST_F(FaultsTest, AFileWithoutReadPermissionIsPassedOver)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, which reads the file anyway";
    const auto path = source("secret.bin", 100);
    std::filesystem::permissions(path, std::filesystem::perms::none);
    queueAll({path});
    startCopy();
    runToEnd();
    EXPECT_FALSE(std::filesystem::exists(destination("secret.bin")));
    EXPECT_EQ(job.report().files.at(0).whyNotCopied, std::errc::permission_denied);
}

TEST_F(FaultsTest, TheSourceIsNeverWrittenNorCreatedAgainWhenItVanishes)
{
    const auto path = source("fragile.bin", 3 * kib32);
    struct stat before
    {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    queueAll({path});
    startCopy(0);
    job.Timer1_Timer();
    struct stat after
    {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    const auto firstChunk = readFile(path);
    std::filesystem::remove(path);
    runToEnd();
    EXPECT_FALSE(std::filesystem::exists(path)) << "the vanished source was made again";
    auto expected = Bytes(3 * kib32);
    std::copy_n(firstChunk.begin(), kib32, expected.begin());
    EXPECT_EQ(readFile(destination("fragile.bin")), expected);
}

TEST_F(FaultsTest, ADestinationThatIsTheSourceItselfIsPassedOver)
{
    const auto original = source("self.bin", 5000);
    const auto bytes = readFile(original);
    std::filesystem::create_symlink(original, destination("linked.bin"));
    const auto viaLink = scratch / "linked.bin";
    std::filesystem::create_symlink(destination("linked.bin"), viaLink);
    std::filesystem::create_hard_link(original, scratch / "hard.bin");
    const auto hardLinked = scratch / "hard.bin";
    std::filesystem::create_hard_link(original, destination("hard.bin"));
    files.badRanges = {{original, 0, 5000}, {viaLink, 0, 5000}, {hardLinked, 0, 5000}};

    queueAll({viaLink, hardLinked});
    startCopy();
    runToEnd();
    EXPECT_EQ(readFile(original), bytes);
    EXPECT_EQ(job.report().files.at(0).whyNotCopied, CopyError::destinationIsSource);
    EXPECT_EQ(job.report().files.at(1).whyNotCopied, CopyError::destinationIsSource);
    EXPECT_TRUE(files.destinationsOpened.empty());

    job.mnu_New_Click(); // the same path as source and destination folder
    queue = PathList();
    queue.append(original);
    fields.setText(Field::lblDir, scratch.path().string());
    job.cmdCopy_Click();
    runToEnd();
    EXPECT_EQ(readFile(original), bytes);
    EXPECT_EQ(job.report().files.at(0).whyNotCopied, CopyError::destinationIsSource);
}

TEST_F(FaultsTest, AnOlderLongerDestinationIsCutToTheSourcesLength)
{
    const auto path = source("short.bin", 1000);
    writeFile(destination("short.bin"), patternBytes(50000, 9));
    queueAll({path});
    startCopy();
    runToEnd();
    EXPECT_EQ(readFile(destination("short.bin")), readFile(path));
}

class RemovalTest : public JobFixture
{
protected:
    void SetUp() override
    {
        for (const auto* name : {"a", "b", "c", "d"})
            paths.push_back(source(name, 3 * kib32, static_cast<std::uint8_t>(name[0])));
        queueAll({paths[0], paths[1], paths[2], paths[3]});
        startCopy(0);
    }
    void remove(int index)
    {
        queue.remove(index);
        job.queueEntryRemoved(index);
    }
    bool copied(int which) const
    {
        const auto path = destination(std::string(1, static_cast<char>('a' + which)));
        return std::filesystem::exists(path) && readFile(path) == readFile(paths[which]);
    }
    void tickUntilFile(const std::string& path)
    {
        for (int i = 0; i < 100 && text(Field::lblFile) != path; ++i)
            job.Timer1_Timer();
        ASSERT_EQ(text(Field::lblFile), path);
    }
    std::vector<std::string> paths;
};

TEST_F(RemovalTest, RemovingTheCurrentEntryPassesOverNothingStillQueued)
{
    job.Timer1_Timer();
    remove(0);
    runToEnd();
    EXPECT_TRUE(copied(0) && copied(1) && copied(2) && copied(3));
}

TEST_F(RemovalTest, RemovingAnEntryBeforeTheCurrentOneKeepsTheJobOnCourse)
{
    tickUntilFile(paths[1]);
    remove(0);
    EXPECT_EQ(job.state().IK, 0);
    runToEnd();
    EXPECT_TRUE(copied(0) && copied(1) && copied(2) && copied(3));
}

TEST_F(RemovalTest, RemovingAnEntryBehindTheCurrentOneDropsOnlyThatFile)
{
    job.Timer1_Timer();
    remove(2);
    runToEnd();
    EXPECT_TRUE(copied(0) && copied(1) && copied(3));
    EXPECT_FALSE(std::filesystem::exists(destination("c")));
}

TEST_F(RemovalTest, EmptyingTheQueueEndsTheJobAfterTheCurrentFile)
{
    tickUntilFile(paths[1]);
    for (int i = 0; i < 4; ++i)
        remove(0);
    EXPECT_LE(runToEnd(), 4) << "the job must end, not loop on the last byte";
    EXPECT_TRUE(copied(0) && copied(1));
    EXPECT_EQ(text(Field::lblByteDone), "........Finished........");
}

TEST_F(RemovalTest, RemovalOutsideARunningJobLeavesTheJobState)
{
    job.Timer1_Timer();
    job.cmdStop_Click();
    remove(0);
    EXPECT_EQ(job.state().IK, 0);
}

// The window remembers what each copy rescued for as long as it runs, and a
// later copy of the same file into the same copy reads only what is missing.
// That holds only for the same source and the same copy, changed by nobody
// since: anything else is read again in full.
TEST_F(FaultsTest, WhatACopyRescuedIsTrustedOnlyForTheSameSourceAndAnUnchangedCopy)
{
    namespace fs = std::filesystem;
    using Change = std::function<void(const std::string& path)>;
    const Change nothing = [](const std::string&) {};
    const Change madeAnew = [](const std::string& path) {
        const auto bytes = readFile(path);
        fs::rename(path, path + ".old");
        writeFile(path, bytes);
    };
    const Change appended = [](const std::string& path) {
        std::ofstream(path, std::ios::app | std::ios::binary).put('x');
    };
    const Change touched = [](const std::string& path) { fs::last_write_time(path, {}); };
    const struct
    {
        const char* name;
        Change source, copy;
        bool readAgain;
    } cases[] = {
        {"nothing changed", nothing, nothing, false},
        {"the copy written to", nothing, appended, true},
        {"the copy replaced", nothing, madeAnew, true},
        {"another source of the same name", madeAnew, nothing, true},
        {"the source changed", touched, nothing, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto name = std::string(c.name) + ".bin";
        const auto path = source(name, 3 * kib32 + 100);
        RememberedRescues rescues(files);
        HeadlessJob window(files, numbers, &rescues);
        files.badRanges = {{path, 40000, 100}};
        window.start({path}, scratch / "out", 0);
        window.runToEnd(1000);
        c.source(path);
        c.copy(destination(name));
        files.badRanges.clear(); // the disc cleaned
        files.rangesRead.clear();
        files.rangesScraped.clear();
        window.start({path}, scratch / "out", 0);
        window.runToEnd(1000);
        EXPECT_EQ(readFile(destination(name)), readFile(path));
        EXPECT_EQ(!files.rangesRead.empty(), c.readAgain);
        if (!c.readAgain) {
            EXPECT_EQ(files.rangesScraped, (std::vector<ByteRange>{{40000, 100}}));
            EXPECT_EQ(window.job().report().files.at(0).recoveredBytes, 100);
        }
    }
}

} // namespace
} // namespace brindlecap::testing
