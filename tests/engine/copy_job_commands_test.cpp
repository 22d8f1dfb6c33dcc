// SPDX-License-Identifier: GPL-3.0-or-later
#include "job_fixture.h"

#include <filesystem>

namespace brindlecap::testing {
namespace {

// Enabled flags of cmdFileSelect, cmdDirSelect, the seven options, cmdCopy,
// cmdStop and Timer1, in that order.
struct Flags
{
    bool fileSelect, dirSelect, options, copy, stop, timer;
};

void expectFlags(const Controls& controls, Flags expected)
{
    EXPECT_EQ(controls.isEnabled(Control::cmdFileSelect), expected.fileSelect);
    EXPECT_EQ(controls.isEnabled(Control::cmdDirSelect), expected.dirSelect);
    for (auto option : {Control::Option1, Control::Option2, Control::Option3, Control::Option4,
                        Control::Option5, Control::Option6, Control::Option7})
        EXPECT_EQ(controls.isEnabled(option), expected.options);
    EXPECT_EQ(controls.isEnabled(Control::cmdCopy), expected.copy);
    EXPECT_EQ(controls.isEnabled(Control::cmdStop), expected.stop);
    EXPECT_EQ(controls.isEnabled(Control::Timer1), expected.timer);
}

constexpr Flags idle{true, false, true, false, false, false};
constexpr Flags running{false, false, false, false, true, true};
constexpr Flags over{false, false, false, false, false, false}; // stopped or finished

class CommandsTest : public JobFixture
{
protected:
    void expectIdle() const
    {
        for (auto field : {Field::lblFile, Field::lblFileName, Field::lblFileSize, Field::lblDir,
                           Field::lblTotal, Field::lblByteDone, Field::lblPercent})
            EXPECT_EQ(text(field), "");
        EXPECT_TRUE(options.isSelected(3));
        EXPECT_EQ(job.state().I, 0);
        EXPECT_EQ(job.state().IK, 0);
        EXPECT_EQ(job.state().CopyLen, 0);
        EXPECT_TRUE(job.state().Buf.empty());
    }
};

TEST_F(CommandsTest, TheWindowStatesCarryTheirEnabledFlags)
{
    expectFlags(controls, idle);
    EXPECT_TRUE(options.isSelected(3));

    queueAll({source("a", 100), source("b", 100)});
    startCopy(1);
    expectFlags(controls, running);
    EXPECT_EQ(job.state().I, 1);
    EXPECT_EQ(job.state().IK, 0);

    runToEnd();
    expectFlags(controls, over);
    EXPECT_TRUE(options.isSelected(1)) << "the choice stays for the whole job";
}

TEST_F(CommandsTest, StopEndsTheJobForGoodAndKeepsWhatWasShownAndWritten)
{
    const auto path = source("big", 5 * kib32);
    // Stopping must not cut a longer older copy: only a finished file is cut.
    writeFile(destination("big"), patternBytes(9 * kib32, 7));
    queueAll({path});
    startCopy(0);
    job.Timer1_Timer();
    job.Timer1_Timer();
    job.cmdStop_Click();
    expectFlags(controls, over);
    EXPECT_EQ(text(Field::lblByteDone), "32,769");
    EXPECT_EQ(text(Field::lblFilesDone), "1 From 1");
    EXPECT_EQ(job.state().I, 2 * kib32 + 1);
    EXPECT_EQ(std::filesystem::file_size(destination("big")), 9u * kib32);
    ASSERT_EQ(job.report().files.size(), 1u);
    EXPECT_EQ(job.report().files[0].status(), FileStatus::stopped);
}

TEST_F(CommandsTest, NewAtAnyPointReturnsToIdleAndKeepsTheQueueAndFilesDoneText)
{
    const auto a = source("a", 3 * kib32);
    const auto b = source("b", 10);
    queueAll({a, b});

    job.mnu_New_Click(); // in Idle
    expectFlags(controls, idle);
    expectIdle();

    startCopy(0);
    job.Timer1_Timer();
    const auto written = std::filesystem::file_size(destination("a"));
    job.mnu_New_Click(); // while running
    expectFlags(controls, idle);
    expectIdle();
    EXPECT_EQ(text(Field::lblFilesDone), "1 From 2");
    EXPECT_EQ(queue.count(), 2);
    EXPECT_EQ(std::filesystem::file_size(destination("a")), written);
    EXPECT_FALSE(std::filesystem::exists(destination("b")));

    startCopy(2);
    job.cmdStop_Click();
    job.mnu_New_Click(); // after Stop
    expectFlags(controls, idle);
    expectIdle();

    startCopy(0);
    runToEnd();
    job.mnu_New_Click(); // after the finish
    expectFlags(controls, idle);
    expectIdle();
    EXPECT_EQ(text(Field::lblFilesDone), "........Finished........");
    EXPECT_TRUE(job.report().files.empty());

    startCopy(0); // a new job starts again at entry 0, byte 1
    EXPECT_EQ(text(Field::lblFile), a);
    EXPECT_EQ(job.state().I, 1);
}

TEST_F(CommandsTest, CopyWithAnEmptyQueueStartsNothing)
{
    startCopy();
    EXPECT_FALSE(controls.isEnabled(Control::Timer1));
    EXPECT_TRUE(controls.isEnabled(Control::cmdCopy));
    EXPECT_EQ(text(Field::lblFile), "");
    EXPECT_TRUE(job.report().files.empty());
}

TEST_F(CommandsTest, CopyPrimesFromEntryZeroAndLeavesTheProgressTextsAlone)
{
    const auto path = source("x.bin", 1234567);
    queueAll({path, source("y.bin", 5)});
    fields.setText(Field::lblFilesDone, "........Finished........");
    startCopy();
    EXPECT_EQ(text(Field::lblFile), path);
    EXPECT_EQ(text(Field::lblFileName), "x.bin");
    EXPECT_EQ(text(Field::lblFileSize), "1,234,567");
    EXPECT_EQ(text(Field::lblTotal), "1,234,567");
    EXPECT_EQ(text(Field::lblByteDone), "");
    EXPECT_EQ(text(Field::lblFilesDone), "........Finished........");
}

TEST_F(CommandsTest, GroupingFollowsTheLocale)
{
    LocaleNumberFormat german(QLocale(QLocale::German, QLocale::Germany));
    CopyJob germanJob({fields, queue, options, controls, files, german});
    germanJob.Form_Load();
    queueAll({source("z", 100001)});
    fields.setText(Field::lblDir, (scratch.path() / "out").string());
    options.select(0);
    germanJob.cmdCopy_Click();
    germanJob.Timer1_Timer();
    germanJob.Timer1_Timer();
    EXPECT_EQ(text(Field::lblFileSize), "100.001");
    EXPECT_EQ(text(Field::lblByteDone), "32.769");
    EXPECT_EQ(text(Field::lblPercent), "32,77 %");
}

} // namespace
} // namespace brindlecap::testing
