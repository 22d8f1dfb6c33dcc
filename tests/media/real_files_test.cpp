// SPDX-License-Identifier: GPL-3.0-or-later
// Copies between real files on real file systems that refuse in real ways:
// a full tmpfs, a read-only mount, sources that change or vanish during the
// copy, destinations that are the source, sources that are not files and
// awkward names. Each through the copy engine (as the window runs it) and,
// where the case can be set up before the job starts, brindlecap-cli.
#include "folder_snapshot.h"
#include "media_job.h"
#include "picker_places.h"
#include "test_mounts.h"

#include <QDir>

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace brindlecap::testing {
namespace {

namespace fs = std::filesystem;

class RealFilesTest : public ::testing::Test
{
protected:
    RealFilesTest()
    {
        fs::create_directory(scratch.path() / "disc");
        fs::create_directory(scratch.path() / "out");
    }
    std::string source(const std::string& name, std::size_t size, std::uint8_t seed = 1) const
    {
        auto path = scratch / ("disc/" + name);
        writeFile(path, patternBytes(size, seed));
        return path;
    }
    std::string out() const { return scratch / "out"; }

    ScratchDir scratch;
};

TEST_F(RealFilesTest, AFullDiskKeepsWhatFitAndSaysIncomplete)
{
    MountedTmpfs small(scratch.path() / "small", mib);
    if (!small.unavailable().empty())
        GTEST_SKIP() << small.unavailable();
    const auto path = source("big.bin", 3 * mib + 5);
    const FolderSnapshot disc(scratch.path() / "disc");

    const auto run = runEngineJob({path}, small.path(), 0);
    EXPECT_EQ(run.percent, "Incomplete");
    ASSERT_EQ(run.report.files.size(), 1u);
    EXPECT_EQ(run.report.files[0].status(), FileStatus::notWrittenInFull);
    EXPECT_GT(run.report.files[0].unwrittenBytes, 2 * mib);
    EXPECT_EQ(run.report.files[0].firstWriteError, std::errc::no_space_on_device);
    // What did reach the disc is the source's start.
    const auto kept = readFile((small.path() / "big.bin").string());
    const auto original = readFile(path);
    ASSERT_GT(kept.size(), 0u);
    EXPECT_TRUE(std::equal(kept.begin(), kept.end() - std::min<std::ptrdiff_t>(kept.size(), 1),
                           original.begin()));
    fs::remove(small.path() / "big.bin");

    // The command line finds out before it writes anything, and says it once;
    // --force copies what fits.
    const auto refused = runCli({"-q", path, small.path()});
    EXPECT_EQ(refused.exitStatus, 3) << refused.out;
    EXPECT_NE(
        refused.err.find("the copies need 3,145,733 bytes, and " + small.path().string() + " has "),
        std::string::npos)
        << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_FALSE(fs::exists(small.path() / "big.bin"));
    const auto forced = runCli({"-q", "--force", path, small.path()});
    EXPECT_EQ(forced.exitStatus, 3) << forced.out;
    EXPECT_NE(forced.out.find("not written in full"), std::string::npos) << forced.out;
    disc.expectUnchanged();
}

TEST_F(RealFilesTest, TheSpaceCheckCountsWhatEarlierCopiesInSubfoldersHold)
{
    MountedTmpfs small(scratch.path() / "small", 2 * mib);
    if (!small.unavailable().empty())
        GTEST_SKIP() << small.unavailable();
    fs::create_directories(scratch.path() / "disc/DCIM/100CANON");
    source("DCIM/100CANON/a.bin", 3 * mib);
    source("DCIM/100CANON/b.bin", mib);
    const auto tree = (scratch.path() / "disc/DCIM").string();
    // Nothing there yet: refused, and not even a folder is made.
    const auto refused = runCli({"-q", "--no-map", "-r", tree, small.path()});
    EXPECT_EQ(refused.exitStatus, 3) << refused.err;
    EXPECT_NE(refused.err.find("the copies need 4,194,304 bytes"), std::string::npos)
        << refused.err;
    EXPECT_TRUE(fs::is_empty(small.path()));
    // An earlier copy of a.bin (sparse: its blocks were never written) only
    // grows: the rest fits.
    const auto earlier = small.path() / "DCIM/100CANON/a.bin";
    fs::create_directories(earlier.parent_path());
    writeFile(earlier, {});
    fs::resize_file(earlier, 3 * mib);
    const auto resumed = runCli({"-q", "--no-map", "-r", tree, small.path()});
    EXPECT_EQ(resumed.err.find("the copies need"), std::string::npos) << resumed.err;
}

TEST_F(RealFilesTest, AReadOnlyDestinationCopiesNothingAndSaysSo)
{
    MountedTmpfs readOnly(scratch.path() / "ro", mib, true);
    if (!readOnly.unavailable().empty())
        GTEST_SKIP() << readOnly.unavailable();
    const auto path = source("a.bin", 100000);
    const auto run = runEngineJob({path}, readOnly.path(), 0);
    EXPECT_EQ(run.percent, "Incomplete");
    EXPECT_EQ(run.report.files[0].unwrittenBytes, 100000);
    EXPECT_EQ(run.report.files[0].firstWriteError, std::errc::read_only_file_system);
    const auto cli = runCliJob({path}, readOnly.path(), 0);
    EXPECT_EQ(cli.exitStatus, 3) << cli.out;
    EXPECT_TRUE(fs::is_empty(readOnly.path()));
}

TEST_F(RealFilesTest, TheDestinationFolderRemovedMidJobLeavesTheRestUnwritten)
{
    const auto path = source("a.bin", 10 * 32 * 1024);
    const auto run = runEngineJob({path}, out(), 0, [&](int tick) {
        if (tick == 3)
            fs::remove_all(out());
    });
    EXPECT_EQ(run.percent, "Incomplete");
    EXPECT_EQ(run.report.files[0].unwrittenBytes, 7 * 32 * 1024);
    EXPECT_FALSE(fs::exists(out()));
}

TEST_F(RealFilesTest, AnOlderLongerFileOfTheSameNameEndsUpAsTheSource)
{
    const auto path = source("a.bin", 100001, 3);
    for (const auto* frontEnd : {"engine", "cli"}) {
        SCOPED_TRACE(frontEnd);
        writeFile(out() + "/a.bin", patternBytes(5 * mib, 9));
        if (frontEnd == std::string("engine"))
            EXPECT_EQ(runEngineJob({path}, out(), 2).percent, "100 %");
        else
            EXPECT_EQ(runCliJob({path}, out(), 2).exitStatus, 0);
        EXPECT_TRUE(readFile(out() + "/a.bin") == readFile(path));
    }
}

TEST_F(RealFilesTest, TheSourceItselfIsNeverItsOwnDestination)
{
    const auto path = source("a.bin", 200000);
    fs::create_directory(scratch.path() / "links");
    fs::create_symlink(path, scratch.path() / "links/a.bin");
    fs::create_directory(scratch.path() / "hard");
    fs::create_hard_link(path, scratch.path() / "hard/a.bin");
    const FolderSnapshot disc(scratch.path() / "disc");
    for (const auto& folder : {scratch / "disc", scratch / "links", scratch / "hard"}) {
        SCOPED_TRACE(folder);
        const auto run = runEngineJob({path}, folder, 0);
        EXPECT_EQ(run.report.files[0].status(), FileStatus::notCopied);
        EXPECT_EQ(run.percent, "Incomplete");
        const auto cli = runCliJob({path}, folder, 0);
        EXPECT_EQ(cli.exitStatus, 3) << cli.out;
        EXPECT_NE(cli.out.find("not copied: " + path), std::string::npos) << cli.out;
        disc.expectUnchanged();
    }
}

TEST_F(RealFilesTest, ASourceThatChangesDuringItsCopyIsCopiedAsFarAsItGoes)
{
    constexpr std::int64_t unit = 32 * 1024; // the smallest chunk
    const auto bytes = patternBytes(10 * unit, 5);
    struct Change
    {
        const char* name;
        std::function<void(const std::string&)> apply;
        FileStatus status;
    } changes[] = {
        {"deleted", [](const std::string& p) { fs::remove(p); }, FileStatus::copiedWithZeros},
        {"truncated", [](const std::string& p) { fs::resize_file(p, 4 * unit + 10); },
         FileStatus::copiedWithZeros},
        {"grown", [](const std::string& p) { fs::resize_file(p, 20 * unit); }, FileStatus::copied},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.name);
        const auto path = scratch / "disc/changing.bin";
        writeFile(path, bytes);
        const auto run = runEngineJob({path}, out(), 0, [&](int tick) {
            if (tick == 3)
                change.apply(path);
        });
        EXPECT_EQ(run.report.files[0].status(), change.status);
        // The copy has the length measured at the start, the source's bytes
        // where it still had them, zeros where it no longer did.
        const auto copy = readFile(out() + "/changing.bin");
        ASSERT_EQ(copy.size(), bytes.size());
        const std::size_t keptUpTo = change.name == std::string("truncated") ? 4 * unit + 10
                                     : change.name == std::string("deleted") ? 3 * unit
                                                                             : bytes.size();
        EXPECT_TRUE(std::equal(copy.begin(), copy.begin() + keptUpTo, bytes.begin()));
        EXPECT_TRUE(std::all_of(copy.begin() + keptUpTo, copy.end(),
                                [](std::byte b) { return b == std::byte{0}; }));
        EXPECT_FALSE(fs::exists(path) && change.name == std::string("deleted"))
            << "a vanished source must not be made again";
        fs::remove(out() + "/changing.bin");
    }
}

TEST_F(RealFilesTest, SourcesThatAreNotFilesArePassedOver)
{
    const auto disc = scratch.path() / "disc";
    ::mkfifo((disc / "fifo").c_str(), 0644);
    const int unixSocket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const auto socketPath = (disc / "socket").string();
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(unixSocket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::create_directory(disc / "folder");
    fs::create_symlink(disc / "nowhere", disc / "dangling");
    fs::create_symlink(disc / "loop", disc / "loop");
    const std::vector<std::string> sources{(disc / "fifo").string(),
                                           socketPath,
                                           "/dev/zero",
                                           (disc / "folder").string(),
                                           (disc / "dangling").string(),
                                           (disc / "loop").string()};
    const FolderSnapshot before(disc);

    const auto run = runEngineJob(sources, out(), 0);
    ASSERT_EQ(run.report.files.size(), sources.size());
    for (const auto& file : run.report.files)
        EXPECT_EQ(file.status(), FileStatus::notCopied) << file.source;
    EXPECT_EQ(run.percent, "Incomplete");
    const auto cli = runCliJob(sources, out(), 0);
    EXPECT_EQ(cli.exitStatus, 3);
    for (const auto& path : sources)
        EXPECT_NE(cli.out.find("not copied: " + path), std::string::npos) << cli.out;
    EXPECT_TRUE(fs::is_empty(out()));
    ::close(unixSocket);
    before.expectUnchanged();
}

TEST_F(RealFilesTest, AFileWithoutReadPermissionIsPassedOverForAnOrdinaryUser)
{
    const auto path = source("secret.bin", 1000);
    fs::permissions(path, fs::perms::owner_write);
    if (::geteuid() != 0)
        GTEST_SKIP() << "run as root to cover this: the test runs the CLI as 'nobody'";
    // The CLI as "nobody", which root's read permission does not reach.
    fs::permissions(scratch.path(), fs::perms::all);
    fs::permissions(scratch.path() / "disc", fs::perms::all);
    fs::permissions(out(), fs::perms::all);
    const auto cli =
        runProcess("/usr/bin/setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                        BRINDLECAP_CLI, "-q", "-t", out(), path});
    EXPECT_EQ(cli.exitStatus, 3) << cli.out << cli.err;
    EXPECT_NE(cli.out.find("not copied: " + path + ": Permission denied"), std::string::npos)
        << cli.out;
    EXPECT_FALSE(fs::exists(out() + "/secret.bin"));
}

TEST_F(RealFilesTest, AwkwardNamesAreCopiedToTheSameNames)
{
    std::vector<std::string> names{"with space.bin", "quote\"s and 'apostrophes'", "ünïcødé ✓.bin",
                                   "new\nline", std::string(255, 'n')};
    // A path of 4,000 bytes, in folders of 200.
    auto deep = scratch.path() / "disc";
    while (deep.string().size() < 4000 - 210)
        deep /= std::string(200, 'd');
    fs::create_directories(deep);
    const auto deepName = std::string(4000 - deep.string().size() - 1, 'f');
    std::vector<std::string> sources;
    for (std::size_t i = 0; i < names.size(); ++i)
        sources.push_back(source(names[i], 40000 + i, static_cast<std::uint8_t>(i)));
    writeFile((deep / deepName).string(), patternBytes(1234, 9));
    sources.push_back((deep / deepName).string());
    ASSERT_EQ(sources.back().size(), 4000u);
    names.push_back(deepName);

    for (const auto* frontEnd : {"engine", "cli"}) {
        SCOPED_TRACE(frontEnd);
        if (frontEnd == std::string("engine"))
            EXPECT_EQ(runEngineJob(sources, out(), 0).percent, "100 %");
        else
            EXPECT_EQ(runCliJob(sources, out(), 0).exitStatus, 0);
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_TRUE(readFile(out() + "/" + names[i]) == readFile(sources[i])) << names[i];
        fs::remove_all(out());
        fs::create_directory(out());
    }
}

// Sizes and positions past 2 GiB and 4 GiB's half: a sparse source of 3 GiB
// with data at its start, around 2 GiB and at its end.
TEST_F(RealFilesTest, AThreeGibibyteSourceIsMeasuredShownAndCopiedExactly)
{
    constexpr std::int64_t size = 3LL << 30;
    MountedTmpfs memory(scratch.path() / "memory", 2 * size + mib);
    if (!memory.unavailable().empty())
        GTEST_SKIP() << memory.unavailable();
    const auto path = (memory.path() / "disc.iso").string();
    {
        writeFile(path, patternBytes(mib, 1));
        const auto writeAt = [&](std::int64_t at, std::uint8_t seed) {
            const auto bytes = patternBytes(mib, seed);
            std::FILE* file = std::fopen(path.c_str(), "r+b");
            ASSERT_NE(file, nullptr);
            ::fseeko(file, at, SEEK_SET);
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
        };
        writeAt((2LL << 30) - mib / 2, 2);
        writeAt(size - mib, 3);
    }
    fs::create_directory(memory.path() / "out");
    const auto run = runEngineJob({path}, (memory.path() / "out").string(), 6);
    EXPECT_EQ(run.percent, "100 %");
    EXPECT_EQ(run.report.files[0].size, size);
    EXPECT_EQ(run.report.files[0].status(), FileStatus::copied);
    const auto same = runProcess("/usr/bin/cmp", {path, (memory.path() / "out/disc.iso").string()});
    EXPECT_EQ(same.exitStatus, 0) << same.out;
}

// The file picker offers the disc a click away: what is mounted where the
// desktop mounts the user's media, not any other mount.
TEST_F(RealFilesTest, ThePickerOffersHomeTheMountedMediaAndTheDestination)
{
    const auto media = scratch.path() / "media/someone";
    MountedMedium disc(media / "DISC", "file disc.iso 4096 1\n");
    MountedMedium elsewhere(scratch.path() / "elsewhere", "file other.iso 4096 2\n");
    if (!disc.unavailable().empty())
        GTEST_SKIP() << disc.unavailable();
    const auto places =
        pickerPlaces(QStringLiteral("/rescued"), {QString::fromStdString(media / "DISC")});
    const QList<QUrl> expected{QUrl::fromLocalFile(QDir::homePath()),
                               QUrl::fromLocalFile(QString::fromStdString(media / "DISC/medium")),
                               QUrl::fromLocalFile(QStringLiteral("/rescued"))};
    EXPECT_EQ(places, expected);
}

} // namespace
} // namespace brindlecap::testing
