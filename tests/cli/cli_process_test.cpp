// SPDX-License-Identifier: GPL-3.0-or-later
#include "run_process.h"
#include "scratch_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace brindlecap::testing {
namespace {

ProcessResult cli(const std::vector<std::string>& arguments)
{
    return runProcess(BRINDLECAP_CLI, arguments);
}

class CliProcessTest : public ::testing::Test
{
protected:
    CliProcessTest() { std::filesystem::create_directory(scratch.path() / "out"); }

    std::string source(const std::string& name, std::size_t size, std::uint8_t seed = 1)
    {
        writeFile(scratch / name, patternBytes(size, seed));
        return scratch / name;
    }
    std::string out() const { return scratch / "out"; }

    ScratchDir scratch;
};

TEST_F(CliProcessTest, CopiesEveryFileByteForByteAndSaysSo)
{
    const auto a = source("a.bin", 100001, 1);
    const auto b = source("b.bin", 65536, 2);
    const auto result = cli({"-b", "32", a, b, out()});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(readFile(out() + "/a.bin"), readFile(a));
    EXPECT_EQ(readFile(out() + "/b.bin"), readFile(b));
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find("copied: " + a + " -> " + out() + "/a.bin"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("2 files: 2 copied\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find('\r'), std::string::npos) << "no progress line off a terminal";
}

TEST_F(CliProcessTest, TheTargetDirectoryFormAndQuietCopyTheSame)
{
    const auto a = source("a name with spaces.bin", 5000);
    const auto result = cli({"-q", "-t", out() + "/", a});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(readFile(out() + "/a name with spaces.bin"), readFile(a));
}

// As ddrescue makes its output: a folder whose parent is there, and says so.
TEST_F(CliProcessTest, AMissingFolderIsMadeWhereItsParentIs)
{
    const auto a = source("a.bin", 100);
    const auto into = out() + "/Rescued";
    const auto result = cli({a, into});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err, "brindlecap-cli: created directory " + into + "\n");
    EXPECT_EQ(readFile(into + "/a.bin"), readFile(a));
}

TEST_F(CliProcessTest, ASourceThatCannotBeCopiedGivesStatusThree)
{
    const auto good = source("good.bin", 100);
    const auto result = cli({scratch / "missing.bin", good, scratch.path().string(), out()});
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_EQ(readFile(out() + "/good.bin"), readFile(good));
    EXPECT_NE(
        result.out.find("not copied: " + scratch / "missing.bin" + ": No such file or directory\n"),
        std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("not copied: " + scratch.path().string() +
                              ": is a folder: use -r to copy it with its contents\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("3 files: 1 copied, 2 not copied\n"), std::string::npos)
        << result.out;
}

TEST_F(CliProcessTest, ADestinationThatRefusesWritesGivesStatusThree)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, which writes into a read-only folder anyway";
    const auto a = source("a.bin", 100);
    std::filesystem::permissions(out(), std::filesystem::perms::owner_read |
                                            std::filesystem::perms::owner_exec);
    const auto result = cli({a, out()});
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_NE(result.out.find("not written in full: "), std::string::npos) << result.out;
}

TEST_F(CliProcessTest, BadCommandLinesWriteNothingAndGiveStatusTwo)
{
    const auto a = source("a.bin", 100);
    const auto file = source("plain-file", 1);
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus", a, out()}, "unknown option --bogus"},
        {{"-b", "3", a, out()}, "buffer size 3 is not one of 32, 64, 128, 256, 512, 1024, 2048"},
        {{"--retries=many", a, out()}, "retries many is not a number from 0 to 1000"},
        {{"--sector-size=500", a, out()}, "sector size 500 is not one of 512, 1024, 2048, 4096"},
        {{out()}, "no sources to copy"},
        // Only the last level of a folder is made.
        {{a, scratch / "nowhere/deeper"}, "no such directory " + scratch / "nowhere/deeper"},
        {{a, file}, file + " is not a directory"},
        // A name that would speak to the terminal is quoted.
        {{a, scratch / "no\x1B[2Jwhere/x"},
         "no such directory '" + scratch.path().string() + "/no'$'\\x1B''[2Jwhere/x'"},
        // One operand that is a file: that it is no folder says more.
        {{a}, a + " is not a directory"},

    };
    for (const auto& [arguments, message] : cases) {
        SCOPED_TRACE(message);
        const auto result = cli(arguments);
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "brindlecap-cli: " + message + "\nTry 'brindlecap-cli --help'.\n");
    }
    EXPECT_TRUE(std::filesystem::is_empty(out()));
}

// The report file is looked at before anything is copied: it never takes
// the place of a source (not through a link either), of a copy of this run,
// or of a map, and one that cannot be had stops the run at once.
TEST_F(CliProcessTest, AReportFileThatIsNoPlaceForAReportStopsTheRunBeforeItStarts)
{
    const auto a = source("a.bin", 5000);
    std::filesystem::create_symlink(a, scratch / "link-to-source");
    ASSERT_EQ(::mkfifo((scratch / "pipe").c_str(), 0644), 0);
    const std::pair<std::string, std::string> cases[] = {
        {a, "it is a source of this run"},
        {scratch / "link-to-source", "it is a source of this run"},
        {out() + "/a.bin", "it is a copy this run makes"},
        {out() + "/.brindlecap/report.txt", "it would go into a folder of rescue maps"},
        {scratch / "pipe", "it is not a plain file"},
        {"/dev/full", "it is not a plain file"},
        {scratch / "nowhere/report.txt", "No such file or directory"},
    };
    for (const auto& [report, why] : cases) {
        SCOPED_TRACE(report);
        const auto result = cli({"--report=" + report, a, out()});
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err,
                  "brindlecap-cli: cannot write the report to " + report + ": " + why + "\n");
        EXPECT_TRUE(std::filesystem::is_empty(out()));
        EXPECT_EQ(readFile(a), patternBytes(5000));
    }
}

TEST_F(CliProcessTest, HelpDocumentsTheExitStatusesAndVersionNamesTheProgram)
{
    const auto help = cli({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    for (const auto* line : {"Usage: brindlecap-cli", "  0    every byte", "  1    the copy",
                             "  2    bad command line", "  3    some data"})
        EXPECT_NE(help.out.find(line), std::string::npos) << line;
    const auto version = cli({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out.rfind("brindlecap-cli ", 0), 0u);
}

} // namespace
} // namespace brindlecap::testing
