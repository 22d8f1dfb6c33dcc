// SPDX-License-Identifier: GPL-3.0-or-later
#include "exit_status.h"
#include "job_report_text.h"
#include "locale_number_format.h"
#include "progress_line.h"

#include <gtest/gtest.h>

namespace brindlecap {
namespace {

FileOutcome outcome(std::string source, std::string destination, std::int64_t size = 0)
{
    FileOutcome file;
    file.source = std::move(source);
    file.destination = std::move(destination);
    file.size = size;
    return file;
}

TEST(JobReportTextTest, EachFileSaysWhatHappenedAndTheWorstDecidesTheStatus)
{
    const LocaleNumberFormat numbers(QLocale(QLocale::English, QLocale::UnitedStates));
    auto copied = outcome("/cd/a.bin", "/out/a.bin", 1234567);
    copied.finished = true;
    auto scratched = outcome("/cd/b.bin", "/out/b.bin", 100000);
    scratched.finished = true;
    scratched.addUnreadable({32768, 32768}, std::make_error_code(std::errc::io_error));
    scratched.addUnreadable({98304, 1}, std::make_error_code(std::errc::io_error));

    JobReport report{{copied, scratched}};
    EXPECT_EQ(jobReportText(report, numbers),
              "copied: /cd/a.bin -> /out/a.bin (1,234,567 bytes)\n"
              "copied with 32,769 bytes unreadable, written as zeros: /cd/b.bin -> /out/b.bin "
              "(Input/output error)\n"
              "    unreadable: bytes 32768-65535 (32,768 bytes)\n"
              "    unreadable: bytes 98304-98304 (1 byte)\n"
              "2 files: 1 copied, 1 copied with zeros\n");
    EXPECT_EQ(exitStatusFor(report), 1);

    auto full = outcome("/cd/c.bin", "/out/c.bin", 10);
    full.finished = true;
    full.addUnwritten(4, std::make_error_code(std::errc::no_space_on_device));
    auto missing = outcome("/cd/d.bin", "/out/d.bin");
    missing.whyNotCopied = std::make_error_code(std::errc::no_such_file_or_directory);
    report.files = {full, missing};
    EXPECT_EQ(jobReportText(report, numbers),
              "not written in full: /cd/c.bin -> /out/c.bin: No space left on device "
              "(4 bytes not written)\n"
              "not copied: /cd/d.bin: No such file or directory\n"
              "2 files: 1 not written in full, 1 not copied\n");
    EXPECT_EQ(exitStatusFor(report), 3);
    EXPECT_EQ(exitStatusFor(JobReport{{copied}}), 0);
}

TEST(JobReportTextTest, ACopyMadeAgainSaysWhereTheEarlierCopysBytesWereKept)
{
    const LocaleNumberFormat numbers(QLocale(QLocale::English, QLocale::UnitedStates));
    auto again = outcome("/cd/b.bin", "/out/b.bin", 100000);
    again.finished = true;
    for (const ByteRange range :
         {ByteRange{0, 2048}, ByteRange{10240, 4096}, ByteRange{90000, 10000}})
        again.addUnreadable(range, std::make_error_code(std::errc::io_error));
    again.addKeptEarlier({0, 2048});
    again.addKeptEarlier({90000, 2000});
    EXPECT_EQ(jobReportText(JobReport{{again}}, numbers),
              "copied with 16,144 bytes unreadable, written as zeros: /cd/b.bin -> /out/b.bin "
              "(Input/output error)\n"
              "    unreadable: bytes 0-2047 (2,048 bytes; the earlier copy's bytes kept)\n"
              "    unreadable: bytes 10240-14335 (4,096 bytes)\n"
              "    unreadable: bytes 90000-99999 (10,000 bytes; 2,000 of them kept from the "
              "earlier copy)\n"
              "1 file: 1 copied with zeros\n");
}

// The progress line guesses the time left only once the rate has held for a
// while; until then it says nothing of it.
TEST(JobReportTextTest, TheProgressLineGuessesTheTimeLeftOnlyFromASettledRate)
{
    ProgressSnapshot progress;
    progress.rescued = 100'000'000;
    progress.total = 280'000'000;
    progress.bytesPerSecond = 1'000'000;
    EXPECT_TRUE(progressLine(progress, 200).ends_with("rescued, 1.0 MB/s"));
    progress.rateSettled = true;
    EXPECT_TRUE(progressLine(progress, 200).ends_with("rescued, 1.0 MB/s, 3 min left"));
}

} // namespace
} // namespace brindlecap
