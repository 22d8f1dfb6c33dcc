// SPDX-License-Identifier: GPL-3.0-or-later
// A copy touches only its own source and its own destination: names that
// change hands between two chunks, folders copied whole, names shared by
// two sources, leases,
// reads that never stop being interrupted, and the permissions of a copy.
// The races are made exact by the FUSE medium, which swaps a name at a
// chosen read, so the engine (as the window runs it) and brindlecap-cli
// meet the very same ones.
#include "copy_error.h"
#include "folder_snapshot.h"
#include "media_job.h"
#include "medium_pattern.h"
#include "test_mounts.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brindlecap::testing {
namespace {

namespace fs = std::filesystem;
constexpr std::int64_t chunk = 32 * 1024;
constexpr std::int64_t discSize = 10 * chunk;

bool allZero(const Bytes& bytes, std::size_t from, std::size_t to)
{
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                       bytes.begin() + static_cast<std::ptrdiff_t>(to),
                       [](std::byte b) { return b == std::byte{0}; });
}

mode_t modeOf(const std::string& path)
{
    struct stat status
    {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

class IntegrityTest : public ::testing::Test
{
protected:
    IntegrityTest()
    {
        for (const auto* folder : {"disc", "out", "engine", "cli"})
            fs::create_directory(scratch.path() / folder);
        writeFile(secret(), patternBytes(discSize, 99));
        fs::permissions(secret(), fs::perms::owner_read | fs::perms::owner_write);
    }
    std::string source(const std::string& name, std::size_t size, std::uint8_t seed = 1) const
    {
        auto path = scratch / ("disc/" + name);
        fs::create_directories(fs::path(path).parent_path());
        writeFile(path, patternBytes(size, seed));
        return path;
    }
    // A file of someone else's that no copy may read into its output or write.
    std::string secret() const { return scratch / "secret.bin"; }
    std::string out() const { return scratch / "out"; }

    ScratchDir scratch;
};

// Each front end in turn, into a folder of its own.
struct FrontEnd
{
    const char* name;
    bool cli;
};
constexpr FrontEnd frontEnds[] = {{"engine", false}, {"cli", true}};

struct Finish
{
    std::vector<FileStatus> statuses;
    std::vector<std::error_code> reasons; // why each was not copied, or its first error
    std::string percent;                  // engine only
    int exitStatus = -1;                  // cli only
    std::string report;                   // cli only
};

Finish runJob(const FrontEnd& frontEnd, const std::vector<std::string>& sources,
              const std::string& folder, int bufferOption = 0)
{
    Finish finish;
    if (frontEnd.cli) {
        const auto run = runCliJob(sources, folder, bufferOption);
        finish.exitStatus = run.exitStatus;
        finish.report = run.out + run.err;
        return finish;
    }
    const auto run = runEngineJob(sources, folder, bufferOption);
    finish.percent = run.percent;
    for (const auto& file : run.report.files) {
        finish.statuses.push_back(file.status());
        finish.reasons.push_back(file.whyNotCopied     ? file.whyNotCopied
                                 : file.firstReadError ? file.firstReadError
                                                       : file.firstWriteError);
    }
    return finish;
}

// A name swapped for a symbolic link while chunk 3 is being read: the rest of
// the copy must neither read the new target nor write into it.
struct SwapCase
{
    const char* name;
    const char* swapped;   // "source" (a link to the medium's file) or "destination"
    const char* newTarget; // "secret" or "medium" (the source on the medium itself)
    CopyError reason;
    FileStatus status;
    int exitStatus;
};

void PrintTo(const SwapCase& c, std::ostream* out)
{
    *out << c.name;
}

class SwappedNameTest : public IntegrityTest, public ::testing::WithParamInterface<SwapCase>
{};

TEST_P(SwappedNameTest, TheRestOfTheCopyNeitherReadsNorWritesTheNewFile)
{
    const auto& c = GetParam();
    const auto secretBefore = readFile(secret());
    for (const auto& frontEnd : frontEnds) {
        SCOPED_TRACE(frontEnd.name);
        const auto folder = scratch / frontEnd.name;
        const auto link =
            std::string(c.swapped) == "source" ? scratch / "disc/link.bin" : folder + "/link.bin";
        const auto mediumFolder = scratch.path() / (std::string("medium-") + frontEnd.name);
        const auto target = std::string(c.newTarget) == "secret"
                                ? secret()
                                : (mediumFolder / "medium/link.bin").string();
        std::ostringstream description;
        description << "file link.bin " << discSize << " 7\ndirect-io\n"
                    << "at-read link.bin " << 2 * chunk << " symlink " << target << ' ' << link
                    << '\n';
        MountedMedium medium(mediumFolder, description.str());
        if (!medium.unavailable().empty())
            GTEST_SKIP() << medium.unavailable();
        fs::remove(scratch / "disc/link.bin");
        fs::create_symlink(medium.path("link.bin"), scratch / "disc/link.bin");

        const auto finish = runJob(frontEnd, {scratch / "disc/link.bin"}, folder);
        if (frontEnd.cli) {
            EXPECT_EQ(finish.exitStatus, c.exitStatus) << finish.report;
            EXPECT_NE(finish.report.find(make_error_code(c.reason).message()), std::string::npos)
                << finish.report;
        } else {
            EXPECT_EQ(finish.statuses, std::vector<FileStatus>{c.status});
            EXPECT_EQ(finish.reasons.at(0), c.reason);
            EXPECT_EQ(finish.percent,
                      c.status == FileStatus::copiedWithZeros ? "100 %" : "Incomplete");
        }
        EXPECT_EQ(readFile(secret()), secretBefore);
        EXPECT_EQ(medium.writeAttempts(), "");
        if (std::string(c.swapped) == "source") {
            // The chunks read before the swap (the third was being read off
            // the disc as it came) and zeros for the rest: not a byte of the
            // file the name came to lead to.
            const auto copy = readFile(folder + "/link.bin");
            const auto disc = mediumBytes(discSize, 7);
            ASSERT_EQ(copy.size(), disc.size());
            EXPECT_TRUE(std::equal(copy.begin(), copy.begin() + 3 * chunk, disc.begin()));
            EXPECT_TRUE(allZero(copy, 3 * chunk, copy.size()));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SwappedNameTest,
    ::testing::Values(SwapCase{"DestinationToAnotherFile", "destination", "secret",
                               CopyError::destinationReplaced, FileStatus::notWrittenInFull, 3},
                      SwapCase{"DestinationToTheSource", "destination", "medium",
                               CopyError::destinationReplaced, FileStatus::notWrittenInFull, 3},
                      SwapCase{"SourceToAnotherFile", "source", "secret", CopyError::sourceReplaced,
                               FileStatus::copiedWithZeros, 1}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(IntegrityTest, ADestinationThatIsALinkToNothingIsRefusedAsCpRefusesIt)
{
    const auto path = source("a.bin", 5000);
    for (const auto& frontEnd : frontEnds) {
        SCOPED_TRACE(frontEnd.name);
        const auto folder = scratch / frontEnd.name;
        const auto nowhere = scratch / (std::string("nowhere-") + frontEnd.name);
        fs::create_symlink(nowhere, folder + "/a.bin");
        const auto finish = runJob(frontEnd, {path}, folder);
        if (frontEnd.cli) {
            EXPECT_EQ(finish.exitStatus, 3);
            EXPECT_NE(finish.report.find("not copied: " + path +
                                         ": the destination is a symbolic link to nothing"),
                      std::string::npos)
                << finish.report;
        } else {
            EXPECT_EQ(finish.reasons, std::vector<std::error_code>{CopyError::danglingSymlink});
            EXPECT_EQ(finish.percent, "Incomplete");
        }
        EXPECT_FALSE(fs::exists(nowhere)) << "the link's target was created";
    }
}

TEST_F(IntegrityTest, TwoSourcesWithOneNameNeverReplaceEachOther)
{
    const auto first = source("DCIM/100/IMG_0001.JPG", 300000, 1);
    const auto second = source("DCIM/101/IMG_0001.JPG", 100000, 2);
    for (const auto& frontEnd : frontEnds) {
        SCOPED_TRACE(frontEnd.name);
        const auto folder = scratch / frontEnd.name;
        const auto finish = runJob(frontEnd, {first, second, first}, folder);
        if (frontEnd.cli) {
            EXPECT_EQ(finish.exitStatus, 3);
            EXPECT_NE(finish.report.find("not copied: " + second + ": " +
                                         make_error_code(CopyError::nameTakenInThisJob).message()),
                      std::string::npos)
                << finish.report;
        } else {
            // The same file queued twice is simply copied twice.
            EXPECT_EQ(finish.statuses,
                      (std::vector<FileStatus>{FileStatus::copied, FileStatus::notCopied,
                                               FileStatus::copied}));
            EXPECT_EQ(finish.reasons.at(1), CopyError::nameTakenInThisJob);
            EXPECT_EQ(finish.percent, "Incomplete");
        }
        EXPECT_EQ(readFile(folder + "/IMG_0001.JPG"), readFile(first));
    }
}

TEST_F(IntegrityTest, ALaterSourceHardLinkedIntoTheFolderIsReadBeforeAnythingWritesIt)
{
    const auto a = source("a.bin", 70000, 1);
    for (const auto& frontEnd : frontEnds) {
        SCOPED_TRACE(frontEnd.name);
        const auto folder = scratch / frontEnd.name;
        // b.bin elsewhere is the very file a.bin's copy would be written to.
        writeFile(folder + "/a.bin", patternBytes(50000, 5));
        const auto b = scratch / (std::string("b-") + frontEnd.name + ".bin");
        fs::create_hard_link(folder + "/a.bin", b);
        const auto finish = runJob(frontEnd, {a, b}, folder);
        if (frontEnd.cli) {
            EXPECT_EQ(finish.exitStatus, 3);
            EXPECT_NE(finish.report.find("not copied: " + a), std::string::npos) << finish.report;
        } else {
            EXPECT_EQ(finish.reasons.at(0), CopyError::destinationIsQueuedSource);
            EXPECT_EQ(finish.statuses.at(1), FileStatus::copied);
        }
        EXPECT_EQ(readFile(b), patternBytes(50000, 5));
        EXPECT_EQ(readFile(folder + "/" + fs::path(b).filename().string()), patternBytes(50000, 5));
    }
}

// Another program (Samba, an NFS server) that takes a write lease on the
// source again each time it gets the chance, and lets go when asked.
class LeaseHolder final
{
public:
    explicit LeaseHolder(const std::string& path)
    {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        m_child = ::fork();
        if (m_child == 0) {
            ::close(ready[0]);
            hold(path, ready[1]);
            ::_exit(0);
        }
        ::close(ready[1]);
        char byte = 0;
        m_holding = ::read(ready[0], &byte, 1) == 1 && byte == 'y';
        ::close(ready[0]);
    }
    ~LeaseHolder()
    {
        ::kill(m_child, SIGTERM);
        ::waitpid(m_child, nullptr, 0);
    }
    bool holding() const { return m_holding; }

private:
    static void hold(const std::string& path, int ready)
    {
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGIO);
        sigprocmask(SIG_BLOCK, &blocked, nullptr);
        bool first = true;
        for (;;) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            // A write lease is granted only while nobody else has the file open.
            while (::fcntl(fd, F_SETLEASE, F_WRLCK) != 0) {
                if (first) {
                    const char no = 'n';
                    [[maybe_unused]] auto said = ::write(ready, &no, 1);
                    ::_exit(1);
                }
                ::usleep(200);
            }
            if (first) {
                const char yes = 'y';
                [[maybe_unused]] auto said = ::write(ready, &yes, 1);
                ::close(ready);
                first = false;
            }
            int signal = 0;
            sigwait(&blocked, &signal); // someone opens the file: the lease breaks
            ::usleep(20000);
            ::fcntl(fd, F_SETLEASE, F_UNLCK);
            ::close(fd);
        }
    }

    pid_t m_child = -1;
    bool m_holding = false;
};

TEST_F(IntegrityTest, ALeaseHeldBetweenChunksIsWaitedForNotTurnedIntoZeros)
{
    const auto path = source("leased.bin", 6 * chunk + 123, 4);
    for (const auto& frontEnd : frontEnds) {
        SCOPED_TRACE(frontEnd.name);
        const auto folder = scratch / frontEnd.name;
        const LeaseHolder lease(path);
        if (!lease.holding())
            GTEST_SKIP() << "the kernel refused a write lease (leases-enable, or not the owner)";
        const auto finish = runJob(frontEnd, {path}, folder);
        if (frontEnd.cli)
            EXPECT_EQ(finish.exitStatus, 0) << finish.report;
        else
            EXPECT_EQ(finish.statuses, std::vector<FileStatus>{FileStatus::copied});
        EXPECT_EQ(readFile(folder + "/leased.bin"), readFile(path));
    }
}

TEST_F(IntegrityTest, AMediumThatOnlyAnswersInterruptedEndsTheReadAndTheJob)
{
    for (const auto& frontEnd : frontEnds) {
        SCOPED_TRACE(frontEnd.name);
        std::ostringstream description;
        description << "file disc.bin " << discSize << " 7\ndirect-io\n"
                    << "errno disc.bin " << 3 * chunk << ' ' << 5 * chunk << ' ' << EINTR << '\n';
        MountedMedium medium(scratch.path() / (std::string("medium-") + frontEnd.name),
                             description.str());
        if (!medium.unavailable().empty())
            GTEST_SKIP() << medium.unavailable();
        const auto folder = scratch / frontEnd.name;
        const auto finish = runJob(frontEnd, {medium.path("disc.bin")}, folder);
        if (frontEnd.cli) {
            EXPECT_EQ(finish.exitStatus, 1) << finish.report;
            EXPECT_NE(finish.report.find("Interrupted system call"), std::string::npos)
                << finish.report;
        } else {
            EXPECT_EQ(finish.statuses, std::vector<FileStatus>{FileStatus::copiedWithZeros});
            EXPECT_EQ(finish.reasons.at(0), std::errc::interrupted);
        }
        const auto copy = readFile(folder + "/disc.bin");
        ASSERT_EQ(copy.size(), static_cast<std::size_t>(discSize));
        EXPECT_TRUE(allZero(copy, 3 * chunk, 5 * chunk));
        const auto disc = mediumBytes(discSize, 7);
        EXPECT_TRUE(std::equal(copy.begin() + 5 * chunk, copy.end(), disc.begin() + 5 * chunk));
    }
}

TEST_F(IntegrityTest, CtrlCReachesTheCliWhileEveryReadIsInterrupted)
{
    std::ostringstream description;
    description << "file disc.bin " << 100 * chunk << " 7\ndirect-io\n"
                << "errno disc.bin 0 " << 100 * chunk << ' ' << EINTR << '\n'
                << "at-read disc.bin " << chunk << " interrupt\n";
    MountedMedium medium(scratch.path(), description.str());
    if (!medium.unavailable().empty())
        GTEST_SKIP() << medium.unavailable();
    const auto run = runCliJob({medium.path("disc.bin")}, out(), 0);
    EXPECT_EQ(run.exitStatus, 130) << run.out << run.err;
    EXPECT_NE(run.out.find("stopped: " + medium.path("disc.bin")), std::string::npos) << run.out;
    // The chunk being read when Ctrl-C came, and not the 98 after it.
    EXPECT_LT(medium.reads().back().offset, 3 * chunk);
}

// A photograph's date matters: a finished copy carries its source's
// modification time, as cp -p keeps it.
TEST_F(IntegrityTest, ACopyKeepsTheSourcesPrivacyAndDateAndAnOldOneItsOwnMode)
{
    const auto oldMask = ::umask(022);
    const auto mail = source("mail.mbox", 3 * chunk + 5);
    fs::permissions(mail, fs::perms::owner_read | fs::perms::owner_write);
    const timespec taken[2] = {{0, UTIME_OMIT}, {1'000'000'000, 123'456'789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, mail.c_str(), taken, 0), 0);
    const auto readOnly = source("readme.txt", 1000);
    fs::permissions(readOnly,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto again = source("again.bin", 1000);
    for (const auto& frontEnd : frontEnds) {
        SCOPED_TRACE(frontEnd.name);
        const auto folder = scratch / frontEnd.name;
        writeFile(folder + "/again.bin", patternBytes(10));
        fs::permissions(folder + "/again.bin",
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        runJob(frontEnd, {mail, readOnly, again}, folder);
        EXPECT_EQ(modeOf(folder + "/mail.mbox"), 0600u);
        struct stat copy
        {};
        ASSERT_EQ(::stat((folder + "/mail.mbox").c_str(), &copy), 0);
        EXPECT_EQ(copy.st_mtim.tv_sec, taken[1].tv_sec);
        EXPECT_EQ(copy.st_mtim.tv_nsec, taken[1].tv_nsec);
        // A copy of a read-only file stays writable by its owner, so that a
        // second try can fill in what the first could not read.
        EXPECT_EQ(modeOf(folder + "/readme.txt"), 0644u);
        EXPECT_EQ(modeOf(folder + "/again.bin"), 0640u);
        EXPECT_EQ(readFile(folder + "/again.bin"), readFile(again));
    }
    ::umask(oldMask);
}

// A folder copied whole (-r) where someone else can write: in the
// destination, or on the medium, which changes a name while an earlier file
// is read (the medium's folder comes before z in name order). Nothing
// outside the destination is made or changed, and nothing from outside the
// tree is copied.
struct TreeCase
{
    const char* name;
    const char* inDestination; // what stands at OUT/tree/z (or z/b.bin) before the run
    const char* atRead;        // what the medium changes while a.bin is read
    std::string reportLine;    // a line the report must hold
};

TEST_F(IntegrityTest, AFolderCopiedWholeNeverLeadsAReadOrAWriteOutOfItsTrees)
{
    const auto tree = scratch / "tree";
    const auto elsewhere = scratch / "elsewhere";
    const TreeCase cases[] = {
        {"a link where a folder goes", "link", "",
         "not copied: " + tree +
             "/z/b.bin: a symbolic link stands where its folder goes, not "
             "followed"},
        {"a file where a folder goes", "file", "",
         "not copied: " + tree +
             "/z/b.bin: something that is not a folder stands where its "
             "folder goes"},
        {"a link at a copy's name", "name link", "",
         "not copied: " + tree +
             "/z/b.bin: the destination is a symbolic link, not written "
             "through\n"},
        {"a copy's folder swapped for a link", "", "symlink ELSEWHERE OUT/tree/medium",
         "not written in full: " + tree + "/medium/c.bin -> " + out() +
             "/tree/medium/c.bin: a symbolic link stands where its folder goes, not followed"},
        {"a source swapped for a link out", "", "symlink SECRET TREE/z/b.bin",
         "not copied: " + tree +
             "/z/b.bin: a symbolic link out of the folder being copied, not "
             "followed"},
        {"a source's folder swapped for a link out", "", "symlink ELSEWHERE TREE/z",
         "not copied: " + tree +
             "/z/b.bin: a symbolic link stands where its folder goes, not "
             "followed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(tree);
        fs::remove_all(out());
        fs::remove_all(elsewhere);
        fs::create_directories(out() + "/tree");
        fs::create_directories(elsewhere);
        for (const auto* name : {"a.bin", "b.bin", "c.bin"})
            writeFile(elsewhere + "/" + name, patternBytes(4000, 50));
        auto atRead = std::string(c.atRead);
        for (const auto& [word, path] :
             {std::pair<std::string, std::string>{"ELSEWHERE", elsewhere},
              {"SECRET", secret()},
              {"OUT", out()},
              {"TREE", tree}}) {
            if (const auto at = atRead.find(word); at != std::string::npos)
                atRead.replace(at, word.size(), path);
        }
        std::ostringstream description;
        description << "file a.bin " << discSize << " 7\nfile c.bin 3000 8\ndirect-io\n";
        if (!atRead.empty())
            description << "at-read a.bin " << 2 * chunk << ' ' << atRead << '\n';
        // The medium's own files lie in the tree beside its mount point.
        MountedMedium medium(tree, description.str());
        if (!medium.unavailable().empty())
            GTEST_SKIP() << medium.unavailable();
        fs::create_directories(tree + "/z");
        writeFile(tree + "/z/b.bin", patternBytes(5000, 9));
        if (c.inDestination == std::string("link"))
            fs::create_symlink(elsewhere, out() + "/tree/z");
        else if (c.inDestination == std::string("file"))
            writeFile(out() + "/tree/z", patternBytes(10, 1));
        if (c.inDestination == std::string("name link")) {
            fs::create_directories(out() + "/tree/z");
            fs::create_symlink(elsewhere + "/b.bin", out() + "/tree/z/b.bin");
        }
        const FolderSnapshot before(elsewhere);
        const auto secretBefore = readFile(secret());

        const auto run = runCli({"-r", "-t", out(), tree});
        EXPECT_EQ(run.exitStatus, 3) << run.out << run.err;
        EXPECT_NE(run.out.find(c.reportLine), std::string::npos) << run.out;
        before.expectUnchanged();
        EXPECT_EQ(readFile(secret()), secretBefore);
        EXPECT_EQ(medium.writeAttempts(), "");
        for (const auto& entry : fs::recursive_directory_iterator(out())) {
            if (!entry.is_regular_file() || entry.is_symlink())
                continue;
            const auto copy = readFile(entry.path());
            EXPECT_NE(copy, secretBefore) << entry.path();
            EXPECT_NE(copy, patternBytes(4000, 50)) << entry.path();
        }
    }
}

} // namespace
} // namespace brindlecap::testing
