// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli_options.h"

#include <gtest/gtest.h>

namespace brindlecap {
namespace {

CliOptions parse(std::initializer_list<std::string_view> arguments)
{
    return parseCliOptions(std::vector<std::string_view>(arguments));
}

TEST(CliOptionsTest, BothFormsNameSourcesAndDirectoryLikeCp)
{
    const auto last = parse({"-b", "32", "a.bin", "b.bin", "out"});
    EXPECT_EQ(last.error, "");
    EXPECT_EQ(last.bufferOption, 0);
    EXPECT_EQ(last.sources, (std::vector<std::string>{"a.bin", "b.bin"}));
    EXPECT_EQ(last.directory, "out");

    const auto target = parse({"-q", "-t", "out", "a.bin", "--buffer=2048", "b.bin"});
    EXPECT_EQ(target.error, "");
    EXPECT_TRUE(target.quiet);
    EXPECT_EQ(target.bufferOption, 6);
    EXPECT_EQ(target.sources, (std::vector<std::string>{"a.bin", "b.bin"}));
    EXPECT_EQ(target.directory, "out");

    const auto attached = parse({"-qb1024", "--target-directory", "out", "--", "-x.bin"});
    EXPECT_EQ(attached.error, "");
    EXPECT_EQ(attached.bufferOption, 5);
    EXPECT_EQ(attached.sources, (std::vector<std::string>{"-x.bin"}));
    EXPECT_EQ(parse({"a", "out"}).bufferOption, 3) << "256 unless told";
    EXPECT_EQ(parse({"a", "out"}).lastPass, CliOptions::Pass::retry) << "every pass unless told";
    EXPECT_EQ(parse({"--passes=copy", "a", "out"}).lastPass, CliOptions::Pass::copy);
    EXPECT_EQ(parse({"--passes", "scrape", "a", "out"}).lastPass, CliOptions::Pass::scrape);
    EXPECT_EQ(parse({"a", "out"}).sectorSize, 0) << "learnt unless told";
    EXPECT_EQ(parse({"--sector-size=512", "a", "out"}).sectorSize, 512);
    // A whole disc needs no paths inside it; a listing needs no folder.
    const auto disc = parse({"--disc=/dev/sr0", "out"});
    EXPECT_EQ(disc.error, "");
    EXPECT_EQ(disc.sources, std::vector<std::string>{});
    EXPECT_EQ(disc.directory, "out");
    const auto listing = parse({"--disc", "d.iso", "--disc-map=d.map", "--list", "DCIM"});
    EXPECT_EQ(listing.error, "");
    EXPECT_TRUE(listing.listOnly);
    EXPECT_EQ(listing.discMap, "d.map");
    EXPECT_EQ(listing.sources, std::vector<std::string>{"DCIM"});
}

TEST(CliOptionsTest, BadCommandLinesNameTheProblem)
{
    EXPECT_EQ(parse({"-x", "a", "out"}).error, "unknown option -x");
    EXPECT_EQ(parse({"--fast", "a", "out"}).error, "unknown option --fast");
    EXPECT_EQ(parse({"-b", "100", "a", "out"}).error,
              "buffer size 100 is not one of 32, 64, 128, 256, 512, 1024, 2048");
    EXPECT_EQ(parse({"a", "out", "-b"}).error, "option -b needs a value");
    EXPECT_EQ(parse({"out"}).error, "no sources to copy");
    EXPECT_EQ(parse({"-t", "out"}).error, "no sources to copy");
    EXPECT_EQ(parse({}).error, "missing destination directory");
    EXPECT_EQ(parse({"-t", "a", "-t", "b", "c"}).error, "the target directory is given twice");
    EXPECT_EQ(parse({"--quiet=yes", "a", "b"}).error, "option --quiet takes no value");
    EXPECT_EQ(parse({"--passes=all", "a", "b"}).error, "passes all is not copy, scrape or retry");
    EXPECT_EQ(parse({"--list", "a"}).error, "--list lists a disc: give it --disc=SOURCE");
    EXPECT_EQ(parse({"--disc-map=m", "a", "out"}).error,
              "--disc-map is the map of a disc image: give the image with --disc");
    EXPECT_EQ(parse({"--disc=d", "--list", "-t", "out"}).error,
              "--list copies nothing: it takes no target directory");
    EXPECT_EQ(parse({"--disc=", "out"}).error, "the disc is an empty name");
}

TEST(CliOptionsTest, HelpAndVersionNeedNoOperands)
{
    EXPECT_EQ(parse({"--help"}).action, CliOptions::Action::help);
    EXPECT_EQ(parse({"-h", "--version"}).action, CliOptions::Action::help);
    EXPECT_EQ(parse({"--version"}).action, CliOptions::Action::version);
    EXPECT_EQ(parse({"--version"}).error, "");
    EXPECT_EQ(parse({"--version", "-z"}).error, "unknown option -z");
}

} // namespace
} // namespace brindlecap
