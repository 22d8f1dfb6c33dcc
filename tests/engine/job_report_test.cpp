// SPDX-License-Identifier: GPL-3.0-or-later
#include "job_report.h"

#include <gtest/gtest.h>

namespace brindlecap {
namespace {

const auto eio = std::make_error_code(std::errc::io_error);
const auto enospc = std::make_error_code(std::errc::no_space_on_device);

TEST(JobReportTest, AdjacentUnreadableRangesMergeAndTheFirstErrorIsKept)
{
    FileOutcome file;
    file.addUnreadable({0, 10}, eio);
    file.addUnreadable({10, 5}, std::make_error_code(std::errc::no_such_device));
    file.addUnreadable({20, 0}, eio); // nothing unread: nothing recorded
    file.addUnreadable({30, 2}, eio);
    EXPECT_EQ(file.unreadable, (std::vector<ByteRange>{{0, 15}, {30, 2}}));
    EXPECT_EQ(file.unreadableBytes, 17);
    EXPECT_EQ(file.firstReadError, eio);
}

TEST(JobReportTest, TheWorstOutcomeDecidesTheVerdict)
{
    FileOutcome copied;
    copied.finished = true;
    FileOutcome zeros = copied;
    zeros.addUnreadable({5, 5}, eio);
    FileOutcome unwritten = zeros;
    unwritten.addUnwritten(100, enospc);
    FileOutcome passedOver;
    passedOver.whyNotCopied = eio;
    FileOutcome stopped;

    EXPECT_EQ(copied.status(), FileStatus::copied);
    EXPECT_EQ(zeros.status(), FileStatus::copiedWithZeros);
    EXPECT_EQ(unwritten.status(), FileStatus::notWrittenInFull);
    EXPECT_EQ(passedOver.status(), FileStatus::notCopied);
    EXPECT_EQ(stopped.status(), FileStatus::stopped);

    EXPECT_EQ((JobReport{{copied, copied}}).verdict(), JobVerdict::allCopied);
    EXPECT_EQ((JobReport{{copied, zeros}}).verdict(), JobVerdict::unreadableAsZeros);
    EXPECT_EQ((JobReport{{unwritten, zeros}}).verdict(), JobVerdict::notAllWritten);
    EXPECT_EQ((JobReport{{zeros, passedOver}}).verdict(), JobVerdict::notAllWritten);
    EXPECT_EQ((JobReport{{stopped}}).verdict(), JobVerdict::notAllWritten);
}

} // namespace
} // namespace brindlecap
