// SPDX-License-Identifier: GPL-3.0-or-later
#include "job_fixture.h"

#include <filesystem>

namespace brindlecap::testing {
namespace {

using TickTest = JobFixture;

TEST_F(TickTest, ChunksOfAHundredThousandBytesShowTheirStartPositions)
{
    const auto path = source("clip.avi", 100001);
    queueAll({path});
    startCopy(0); // "32"
    EXPECT_EQ(text(Field::lblFile), path);
    EXPECT_EQ(text(Field::lblFileName), "clip.avi");
    EXPECT_EQ(text(Field::lblFileSize), "100,001");
    EXPECT_EQ(text(Field::lblTotal), "100,001");

    const char* byteDone[] = {"1", "32,769", "65,537", "98,305"};
    const char* percent[] = {"0.00 %", "32.77 %", "65.54 %", "98.30 %"};
    const std::int64_t lengthAfter[] = {32768, 65536, 98304, 100001};
    for (int tick = 0; tick < 4; ++tick) {
        job.Timer1_Timer();
        SCOPED_TRACE(tick);
        EXPECT_EQ(text(Field::lblByteDone), byteDone[tick]);
        EXPECT_EQ(text(Field::lblPercent), percent[tick]);
        EXPECT_EQ(text(Field::lblFilesDone), "1 From 1");
        // Each chunk is exactly the buffer, never a byte more.
        EXPECT_EQ(std::filesystem::file_size(destination("clip.avi")), lengthAfter[tick]);
        EXPECT_TRUE(controls.isEnabled(Control::Timer1));
    }
    EXPECT_EQ(job.state().I, 100002);

    job.Timer1_Timer();
    EXPECT_EQ(text(Field::lblByteDone), "........Finished........");
    EXPECT_EQ(text(Field::lblTotal), "........Finished........");
    EXPECT_EQ(text(Field::lblFilesDone), "........Finished........");
    EXPECT_EQ(text(Field::lblPercent), "100 %");
    EXPECT_EQ(text(Field::lblFile), path);
    EXPECT_EQ(text(Field::lblFileSize), "100,001");
    EXPECT_FALSE(controls.isEnabled(Control::cmdStop));
    EXPECT_FALSE(controls.isEnabled(Control::Timer1));
    EXPECT_EQ(readFile(destination("clip.avi")), readFile(path));
}

struct SizeCase
{
    std::int64_t size;
    int transferTicks;
};

class ChunkCountTest : public JobFixture, public ::testing::WithParamInterface<SizeCase>
{};

TEST_P(ChunkCountTest, TakesOneTickPerFullOrPartChunkThenOneToFinish)
{
    const auto [size, transferTicks] = GetParam();
    const auto path = source("a.bin", static_cast<std::size_t>(size));
    queueAll({path});
    startCopy(0);
    EXPECT_EQ(runToEnd(), transferTicks + 1);
    EXPECT_EQ(readFile(destination("a.bin")), readFile(path));
    EXPECT_EQ(text(Field::lblPercent), "100 %");
}

INSTANTIATE_TEST_SUITE_P(Sizes, ChunkCountTest,
                         ::testing::Values(SizeCase{1, 1}, SizeCase{2, 1}, SizeCase{kib32 - 1, 1},
                                           SizeCase{kib32, 1}, SizeCase{kib32 + 1, 2},
                                           SizeCase{kib32 + 2, 2}, SizeCase{2 * kib32 + 1, 3}));

TEST_F(TickTest, TwoBytesMoveInOneChunkAtHalfWay)
{
    queueAll({source("two", 2)});
    startCopy();
    job.Timer1_Timer();
    EXPECT_EQ(text(Field::lblByteDone), "1");
    EXPECT_EQ(text(Field::lblPercent), "50.00 %");
    EXPECT_EQ(job.state().CopyLen, 2);
    EXPECT_EQ(readFile(destination("two")).size(), 2u);
}

TEST_F(TickTest, FilesDoneCounterLagsOneTickBehindTheMoveToTheNextFile)
{
    const auto first = source("first", 1000, 1);
    const auto second = source("second", 1000, 2);
    queueAll({first, second});
    startCopy();

    job.Timer1_Timer();
    EXPECT_EQ(text(Field::lblFilesDone), "1 From 2");
    EXPECT_EQ(readFile(destination("first")), readFile(first));

    job.Timer1_Timer(); // moves on and copies the whole second file
    EXPECT_EQ(text(Field::lblFilesDone), "1 From 2");
    EXPECT_EQ(text(Field::lblFile), second);
    EXPECT_EQ(text(Field::lblTotal), "1,000");
    EXPECT_EQ(text(Field::lblByteDone), "1");
    EXPECT_EQ(text(Field::lblPercent), "0.10 %");
    EXPECT_EQ(job.state().IK, 1);
    EXPECT_EQ(readFile(destination("second")), readFile(second));

    job.Timer1_Timer();
    EXPECT_EQ(text(Field::lblFilesDone), "........Finished........");
    EXPECT_FALSE(controls.isEnabled(Control::Timer1));
}

TEST_F(TickTest, EveryBufferSizeCopiesEveryFileByteForByte)
{
    const std::size_t sizes[] = {1, 3 * 1024 * 1024 + 17, 65536, 300001};
    for (int option = 0; option < BufferOptions::count; ++option) {
        SCOPED_TRACE(option);
        queue = PathList();
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < std::size(sizes); ++i) {
            paths.push_back(
                source("f" + std::to_string(i), sizes[i], static_cast<std::uint8_t>(i)));
            queue.append(paths.back());
        }
        job.mnu_New_Click();
        startCopy(option);
        const auto chunk = (std::int64_t{32} << option) * 1024;
        int expectedTicks = 1;
        for (auto size : sizes)
            expectedTicks +=
                static_cast<int>((static_cast<std::int64_t>(size) + chunk - 1) / chunk);
        EXPECT_EQ(runToEnd(), expectedTicks);
        for (std::size_t i = 0; i < paths.size(); ++i)
            EXPECT_EQ(readFile(destination("f" + std::to_string(i))), readFile(paths[i]));
        EXPECT_EQ(job.report().verdict(), JobVerdict::allCopied);
    }
}

TEST_F(TickTest, AnEmptySourceGivesAnEmptyDestinationWhereverItStands)
{
    const auto emptyFirst = source("empty1", 0);
    const auto middle = source("middle", 5000);
    const auto emptyLater = source("empty2", 0);
    // An older, longer file of the name is cut down to nothing.
    writeFile(destination("empty2"), patternBytes(700));
    queueAll({emptyFirst, middle, emptyLater});
    startCopy();
    EXPECT_EQ(text(Field::lblFileSize), "");
    EXPECT_EQ(text(Field::lblTotal), "");
    runToEnd();
    EXPECT_TRUE(std::filesystem::exists(destination("empty1")));
    EXPECT_EQ(std::filesystem::file_size(destination("empty1")), 0u);
    EXPECT_EQ(std::filesystem::file_size(destination("empty2")), 0u);
    EXPECT_EQ(readFile(destination("middle")), readFile(middle));
    EXPECT_EQ(text(Field::lblPercent), "100 %");
    EXPECT_EQ(job.report().verdict(), JobVerdict::allCopied);
}

TEST_F(TickTest, SizesPastFourGigabytesAreMeasuredAndShownInFull)
{
    const auto path = scratch / "disc.iso";
    writeFile(path, {});
    const std::int64_t size = (std::int64_t{3} << 30) + 12345;
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
    queueAll({path});
    startCopy(6); // "2048"
    EXPECT_EQ(text(Field::lblFileSize), "3,221,237,817");
    job.Timer1_Timer();
    job.Timer1_Timer();
    EXPECT_EQ(text(Field::lblByteDone), "2,097,153");
    EXPECT_EQ(text(Field::lblPercent), "0.07 %");
    job.cmdStop_Click();
    EXPECT_EQ(std::filesystem::file_size(destination("disc.iso")), 2u * 2097152u);
}

} // namespace
} // namespace brindlecap::testing
