#include "regular_file_open.h"

#include "copy_error.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace brindlecap {

namespace {

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

// A lease break or a stop signal can interrupt an open that waits; it is
// tried again, but not for ever.
constexpr int interruptedOpenRetries = 16;

int openRetryingInterrupts(const char* path, int flags)
{
    int fd = -1;
    for (int attempt = 0; attempt <= interruptedOpenRetries; ++attempt) {
        fd = ::open(path, flags | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0 || errno != EINTR)
            break;
    }
    return fd;
}

} // namespace

FileIdentity identityOf(const struct stat& status)
{
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

std::error_code openRegularFile(const std::string& path, int flags, const FileIdentity* expected,
                                std::error_code replaced, UniqueFd& opened)
{
    // O_PATH only names the file: no read or write access, no open() of a
    // device driver, no FIFO wait, no lease break.
    const UniqueFd name(::open(path.c_str(), O_PATH | O_CLOEXEC));
    if (!name.isOpen())
        return lastError();
    struct stat status
    {};
    if (::fstat(name.get(), &status) != 0)
        return lastError();
    if (!S_ISREG(status.st_mode))
        return CopyError::notRegularFile;
    if (expected != nullptr && identityOf(status) != *expected)
        return replaced;
    // Opening the handle again through /proc reaches the inode just checked,
    // whatever has happened to the name since.
    const auto handle = "/proc/self/fd/" + std::to_string(name.get());
    UniqueFd fd(openRetryingInterrupts(handle.c_str(), flags));
    if (!fd.isOpen() && errno == ENOENT) {
        // No /proc (a bare container): open the name again, without waiting
        // on a FIFO, and check that it still leads to the same file.
        fd = UniqueFd(openRetryingInterrupts(path.c_str(), flags | O_NONBLOCK));
        struct stat now
        {};
        if (fd.isOpen() && (::fstat(fd.get(), &now) != 0 || identityOf(now) != identityOf(status)))
            return replaced ? replaced : make_error_code(CopyError::notRegularFile);
        if (fd.isOpen() &&
            ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0)
            return lastError();
    }
    if (!fd.isOpen())
        return lastError();
    opened = std::move(fd);
    return {};
}

} // namespace brindlecap
