// SPDX-License-Identifier: GPL-3.0-or-later
#include "written_copy.h"

#include "copy_error.h"
#include "descriptor_reads.h"
#include "regular_file_open.h"
#include "retried_call.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindlecap {

std::error_code WrittenCopy::open(const NamePlace& place, const FileIdentity& written)
{
    // Through a link too: the user's own link to the copy leads to the very
    // file that was written, and anything else is refused below.
    UniqueFd handle(::openat(place.folder, place.name, O_PATH | O_CLOEXEC));
    if (!handle.isOpen())
        return errno == ENOENT ? make_error_code(CopyError::destinationReplaced) : lastError();
    struct stat status
    {};
    if (::fstat(handle.get(), &status) != 0)
        return lastError();
    if (!S_ISREG(status.st_mode) || identityOf(status) != written)
        return CopyError::destinationReplaced;
    m_handle = std::move(handle);
    m_facts = {identityOf(status),
               status.st_size,
               {status.st_mtim.tv_sec, status.st_mtim.tv_nsec},
               {status.st_ctim.tv_sec, status.st_ctim.tv_nsec}};
    return {};
}

std::error_code WrittenCopy::readable() const
{
    // O_NONBLOCK: another program's lease on the copy is not waited for.
    return m_readable.isOpen() ? std::error_code()
                               : reopenHandle(m_handle.get(), O_RDONLY | O_NONBLOCK, m_readable);
}

std::error_code WrittenCopy::sync() const
{
    if (const auto error = readable())
        return error;
    // EIO here is a write-back that failed: the data is not on the disk.
    return retrying([&] { return ::fsync(m_readable.get()); }) == 0 ? std::error_code()
                                                                    : lastError();
}

std::error_code WrittenCopy::read(std::int64_t offset, std::span<std::byte> into) const
{
    if (const auto error = readable())
        return error;
    DescriptorReads reads(m_readable.get());
    for (std::size_t done = 0; done < into.size();) {
        const auto got =
            reads.readOnce(offset + static_cast<std::int64_t>(done), into.subspan(done));
        if (got.error)
            return got.error;
        if (got.bytes == 0)
            return std::make_error_code(std::errc::io_error); // shorter than it was
        done += static_cast<std::size_t>(got.bytes);
    }
    return {};
}

} // namespace brindlecap
