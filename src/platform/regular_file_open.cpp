// SPDX-License-Identifier: GPL-3.0-or-later
#include "regular_file_open.h"

#include "copy_error.h"
#include "retried_call.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace brindlecap {

namespace {

// A lease break or a stop signal can interrupt an open that waits; it is
// tried again, but not for ever. EAGAIN is an answer: another program's lease.
int openRetryingInterrupts(int folder, const char* name, int flags)
{
    return retrying([&] { return ::openat(folder, name, flags | O_CLOEXEC | O_NOCTTY); },
                    RetryOn::interruption);
}

// Whether a file is of a kind asked for, and the expected one.
std::error_code checkFile(const struct stat& status, const FileIdentity* expected,
                          std::error_code replaced, SourceKinds kinds = SourceKinds::regularFile)
{
    const bool device = kinds == SourceKinds::regularFileOrBlockDevice && S_ISBLK(status.st_mode);
    if (!S_ISREG(status.st_mode) && !device)
        return CopyError::notRegularFile;
    if (expected != nullptr && identityOf(status) != *expected)
        return replaced;
    return {};
}

std::error_code checkOpened(int fd, const FileIdentity* expected, std::error_code replaced,
                            struct stat& status, SourceKinds kinds = SourceKinds::regularFile)
{
    if (::fstat(fd, &status) != 0)
        return lastError();
    return checkFile(status, expected, replaced, kinds);
}

// Opens what a name leads to only once it has been checked: the name is
// resolved with O_PATH (no open of a driver, no FIFO wait, no lease break),
// and that very inode is opened again through /proc, without O_NONBLOCK, so
// a lease is waited for. `check` may refuse the file before it is opened.
template <typename Check>
std::error_code openResolved(const NamePlace& place, int flags, Check check, UniqueFd& opened,
                             struct stat& status)
{
    const UniqueFd handle(::openat(place.folder, place.name, O_PATH | O_CLOEXEC));
    if (!handle.isOpen())
        return lastError();
    if (::fstat(handle.get(), &status) != 0)
        return lastError();
    if (const auto error = check(status))
        return error;
    return reopenHandle(handle.get(), flags, opened);
}

} // namespace

std::error_code reopenHandle(int handle, int flags, UniqueFd& opened)
{
    const auto path = "/proc/self/fd/" + std::to_string(handle);
    UniqueFd fd(openRetryingInterrupts(AT_FDCWD, path.c_str(), flags));
    if (!fd.isOpen())
        return errno == ENOENT ? std::make_error_code(std::errc::operation_would_block)
                               : lastError(); // no /proc: the lease cannot be waited for
    opened = std::move(fd);
    return {};
}

FileIdentity identityOf(const struct stat& status)
{
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

std::error_code openRegularFile(const NamePlace& place, int flags, const FileIdentity* expected,
                                std::error_code replaced, UniqueFd& opened, struct stat& status,
                                SourceKinds kinds)
{
    // O_NONBLOCK: a FIFO put where a file was expected must not hang the
    // program (its open would wait for a peer). On a regular file it changes
    // nothing but the answer to a lease.
    UniqueFd fd(openRetryingInterrupts(place.folder, place.name, flags | O_NONBLOCK));
    if (!fd.isOpen() && errno == EWOULDBLOCK) {
        return openResolved(
            place, flags,
            [&](const struct stat& found) { return checkFile(found, expected, replaced, kinds); },
            opened, status);
    }
    if (!fd.isOpen())
        return lastError();
    if (const auto error = checkOpened(fd.get(), expected, replaced, status, kinds))
        return error;
    opened = std::move(fd);
    return {};
}

std::error_code openDestinationFile(const NamePlace& place, std::optional<FileIdentity>& identity,
                                    std::span<const FileIdentity> forbidden, UniqueFd& opened)
{
    const auto check = [&](const struct stat& status) -> std::error_code {
        if (!S_ISREG(status.st_mode))
            return identity ? CopyError::destinationReplaced : CopyError::notRegularFile;
        const auto found = identityOf(status);
        if (identity && found != *identity)
            return CopyError::destinationReplaced;
        if (!identity && std::binary_search(forbidden.begin(), forbidden.end(), found)) {
            identity = found;
            return CopyError::destinationIsQueuedSource;
        }
        return {};
    };
    // Through a link: the user's own (cp follows it too), or one put there.
    // Beneath a destination tree a link is never written through: it could
    // lead anywhere.
    const auto openThroughLink = [&] {
        if (place.inTree) {
            struct stat target
            {};
            if (::fstatat(place.folder, place.name, &target, 0) != 0 && errno == ENOENT)
                return make_error_code(CopyError::danglingSymlink);
            return make_error_code(identity ? CopyError::destinationReplaced
                                            : CopyError::destinationIsLink);
        }
        struct stat status
        {};
        auto error = openResolved(place, O_WRONLY, check, opened, status);
        if (error == std::errc::no_such_file_or_directory)
            return make_error_code(CopyError::danglingSymlink);
        if (!error && !identity)
            identity = identityOf(status);
        return error;
    };
    struct stat looked
    {};
    if (!identity) {
        // The first open looks before it opens anything for writing.
        if (::fstatat(place.folder, place.name, &looked, AT_SYMLINK_NOFOLLOW) != 0)
            return lastError();
        if (S_ISLNK(looked.st_mode))
            return openThroughLink();
        if (const auto error = check(looked))
            return error;
    }
    // O_NOFOLLOW: a link in the name's place is never followed blindly. Any
    // other file put there is checked once open, and left unwritten.
    UniqueFd fd(
        openRetryingInterrupts(place.folder, place.name, O_WRONLY | O_NONBLOCK | O_NOFOLLOW));
    if (!fd.isOpen() && errno == ELOOP)
        return openThroughLink();
    struct stat status
    {};
    if (!fd.isOpen() && errno == EWOULDBLOCK)
        return openResolved(place, O_WRONLY, check, opened, status);
    if (!fd.isOpen())
        return lastError();
    const auto expected = identity ? *identity : identityOf(looked);
    if (const auto error = checkOpened(fd.get(), &expected, CopyError::destinationReplaced, status))
        return error;
    identity = expected;
    opened = std::move(fd);
    return {};
}

} // namespace brindlecap
