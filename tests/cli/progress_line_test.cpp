// SPDX-License-Identifier: GPL-3.0-or-later
// The progress line guesses the time left only from a rate that has held for
// a while, and says so when reads stall instead.
#include "progress_line.h"

#include <gtest/gtest.h>

namespace brindlecap {
namespace {

TEST(ProgressLineTest, TheTimeLeftIsGuessedOnlyFromASettledRate)
{
    ProgressSnapshot base;
    base.passName = "copying";
    base.file = 1;
    base.files = 1;
    base.name = "a.bin";
    base.rescued = 100'000'000;
    base.total = 280'000'000;
    base.bytesPerSecond = 1'000'000;
    const struct
    {
        const char* name;
        bool settled;
        double sinceGoodRead;
        double waitingOnDrive;
        const char* ending;
    } cases[] = {
        {"a settled rate", true, 0, 0, "rescued, 1.0 MB/s, 3 min left"},
        {"the first seconds", false, 0, 0, "rescued, 1.0 MB/s"},
        {"reads that fail", true, 3, 0, "1.0 MB/s, last good read 3 s ago, time left unknown"},
        {"a read that hangs", true, 0, 2.4, "waiting on the drive for 2 s, time left unknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto progress = base;
        progress.rateSettled = c.settled;
        progress.sinceGoodRead = c.sinceGoodRead;
        progress.waitingOnDrive = c.waitingOnDrive;
        const auto line = progressLine(progress, 200);
        EXPECT_TRUE(line.ends_with(c.ending)) << line;
    }
}

} // namespace
} // namespace brindlecap
