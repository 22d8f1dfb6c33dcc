// SPDX-License-Identifier: GPL-3.0-or-later
#include "copy_error.h"
#include "posix_file_access.h"
#include "scratch_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace brindlecap::testing {
namespace {

constexpr std::int64_t past4GiB = (std::int64_t{4} << 30) + 7;

// The facts of a source, or the error that examining it gave.
std::error_code examined(const PosixFileAccess& files, const std::string& path,
                         std::int64_t& length)
{
    SourceFacts facts;
    const auto error = files.examineSource(path, facts);
    length = facts.length;
    return error;
}

FileIdentity identityOf(const PosixFileAccess& files, const std::string& path)
{
    FileIdentity identity;
    EXPECT_FALSE(files.identify(path, identity)) << path;
    return identity;
}

TEST(PosixFileAccessTest, OnlyReadableRegularFilesHaveALength)
{
    const ScratchDir scratch;
    PosixFileAccess files;
    std::int64_t length = -1;
    writeFile(scratch / "file", patternBytes(1234));
    EXPECT_FALSE(examined(files, scratch / "file", length));
    EXPECT_EQ(length, 1234);

    EXPECT_EQ(examined(files, scratch / "missing", length), std::errc::no_such_file_or_directory);
    EXPECT_EQ(examined(files, scratch.path().string(), length), CopyError::notRegularFile);
    EXPECT_EQ(examined(files, "/dev/null", length), CopyError::notRegularFile);
    ASSERT_EQ(::mkfifo((scratch / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(examined(files, scratch / "fifo", length), CopyError::notRegularFile);
    std::filesystem::create_symlink(scratch / "nowhere", scratch / "dangling");
    EXPECT_EQ(examined(files, scratch / "dangling", length), std::errc::no_such_file_or_directory);
    std::filesystem::create_symlink(scratch / "loop", scratch / "loop");
    EXPECT_EQ(examined(files, scratch / "loop", length), std::errc::too_many_symbolic_link_levels);

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const auto socketPath = scratch / "socket";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    const int socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(examined(files, socketPath, length), CopyError::notRegularFile);
    ::close(socketFd);
}

TEST(PosixFileAccessTest, SourcesAreOpenedReadOnlyAndNeverCreated)
{
    const ScratchDir scratch;
    PosixFileAccess files;
    EXPECT_EQ(files.openSource(scratch / "missing", {}), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(std::filesystem::exists(scratch / "missing"));

    writeFile(scratch / "source", patternBytes(100));
    const auto source = identityOf(files, scratch / "source");
    ASSERT_FALSE(files.openSource(scratch / "source", source));
    const Bytes bytes(10, std::byte{0xEE});
    EXPECT_EQ(files.writeAt(0, bytes, {}).error, std::errc::bad_file_descriptor);
    EXPECT_EQ(files.openSource(scratch / "source", source), std::errc::device_or_resource_busy)
        << "the one slot holds one file";
    EXPECT_FALSE(files.close());
    EXPECT_EQ(readFile(scratch / "source"), patternBytes(100));

    // Kept open, a source is opened once, when it is examined; the open
    // that follows takes that descriptor only while the name still leads
    // to its file.
    files.keepSourceOpen(true);
    SourceFacts facts;
    ASSERT_FALSE(files.examineSource(scratch / "source", facts));
    writeFile(scratch / "other", patternBytes(50, 2));
    std::filesystem::rename(scratch / "other", scratch / "source");
    EXPECT_EQ(files.openSource(scratch / "source", facts.identity), CopyError::sourceReplaced);
    ASSERT_FALSE(files.examineSource(scratch / "source", facts));
    ASSERT_FALSE(files.openSource(scratch / "source", facts.identity));
    Bytes read(50);
    EXPECT_EQ(files.readAt(0, read).bytes, 50);
    EXPECT_EQ(read, patternBytes(50, 2));
    EXPECT_FALSE(files.close());
}

TEST(PosixFileAccessTest, APipeWhereAFileWasExpectedNeverBlocks)
{
    const ScratchDir scratch;
    PosixFileAccess files;
    ASSERT_EQ(::mkfifo((scratch / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(files.openSource(scratch / "fifo", {}), CopyError::notRegularFile);
    std::optional<FileIdentity> destination;
    EXPECT_EQ(files.openDestination(scratch / "fifo", destination, 0644, {}),
              CopyError::notRegularFile);
    Bytes buffer(4);
    EXPECT_EQ(files.readAt(0, buffer).error, std::errc::bad_file_descriptor);
}

TEST(PosixFileAccessTest, ReadsStopAtTheEndAndLeaveTheRestOfTheBuffer)
{
    const ScratchDir scratch;
    PosixFileAccess files;
    writeFile(scratch / "file", patternBytes(10));
    ASSERT_FALSE(files.openSource(scratch / "file", identityOf(files, scratch / "file")));
    Bytes buffer(16, std::byte{0x55});
    const auto result = files.readAt(6, buffer);
    EXPECT_FALSE(result.error);
    EXPECT_EQ(result.bytes, 4);
    const auto pattern = patternBytes(10);
    EXPECT_TRUE(std::equal(pattern.begin() + 6, pattern.end(), buffer.begin()));
    EXPECT_EQ(buffer[4], std::byte{0x55});
}

TEST(PosixFileAccessTest, DestinationsGrowInPlaceAndAreCutButNeverGrownByTheCut)
{
    const ScratchDir scratch;
    PosixFileAccess files;
    const auto path = scratch / "dest";
    writeFile(path, patternBytes(100));
    std::optional<FileIdentity> destination;
    ASSERT_FALSE(files.openDestination(path, destination, 0644, {}));
    EXPECT_EQ(destination, identityOf(files, path));
    const Bytes bytes(10, std::byte{0xAB});
    EXPECT_EQ(files.writeAt(50, bytes, {}).bytes, 10);
    EXPECT_EQ(std::filesystem::file_size(path), 100u) << "opening must not truncate";
    EXPECT_FALSE(files.cutTo(500));
    EXPECT_EQ(std::filesystem::file_size(path), 100u);
    EXPECT_FALSE(files.cutTo(60));
    EXPECT_FALSE(files.close());
    auto expected = patternBytes(60);
    std::fill(expected.begin() + 50, expected.end(), std::byte{0xAB});
    EXPECT_EQ(readFile(path), expected);
}

TEST(PosixFileAccessTest, PositionsPastFourGigabytesReachTheirBytes)
{
    const ScratchDir scratch;
    PosixFileAccess files;
    const auto path = scratch / "sparse";
    const Bytes tail = patternBytes(5, 42);
    std::optional<FileIdentity> destination;
    ASSERT_FALSE(files.openDestination(path, destination, 0644, {}));
    EXPECT_EQ(files.writeAt(past4GiB, tail, {}).bytes, 5);
    ASSERT_FALSE(files.close());
    std::int64_t length = 0;
    ASSERT_FALSE(examined(files, path, length));
    EXPECT_EQ(length, past4GiB + 5);

    ASSERT_FALSE(files.openSource(path, *destination));
    Bytes buffer(8);
    const auto read = files.readAt(past4GiB - 3, buffer);
    EXPECT_EQ(read.bytes, 8);
    EXPECT_EQ(buffer, (Bytes{std::byte{0}, std::byte{0}, std::byte{0}, tail[0], tail[1], tail[2],
                             tail[3], tail[4]}));
    EXPECT_FALSE(files.close());
}

} // namespace
} // namespace brindlecap::testing
