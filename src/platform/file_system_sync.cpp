// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_system_sync.h"

#include "retried_call.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace brindlecap {

namespace {

// File systems whose data the kernel itself writes back to a disk, so that a
// failed write-back shows in syncfs. tmpfs has nothing to write back.
constexpr unsigned long diskFileSystems[] = {
    0xEF53,     // ext2, ext3, ext4
    0x58465342, // xfs
    0x9123683E, // btrfs
    0xF2F52010, // f2fs
    0x4d44,     // vfat, msdos
    0x2011BAB0, // exfat
    0x5346544E, // ntfs3
    0x3153464A, // jfs
    0xCA451A4E, // bcachefs
    0x01021994, // tmpfs
};

// syncfs reports write-back errors from Linux 5.8 on; before, it said
// nothing of them.
bool syncfsReportsErrors()
{
    utsname system{};
    int major = 0;
    int minor = 0;
    return ::uname(&system) == 0 && std::sscanf(system.release, "%d.%d", &major, &minor) == 2 &&
           (major > 5 || (major == 5 && minor >= 8));
}

} // namespace

std::error_code FileSystemSync::open(int folder)
{
    UniqueFd fd(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    struct stat status
    {};
    struct statfs volume
    {};
    if (!fd.isOpen() || ::fstat(fd.get(), &status) != 0 || ::fstatfs(fd.get(), &volume) != 0)
        return lastError();
    const auto type = static_cast<unsigned long>(volume.f_type);
    m_reportsErrors = syncfsReportsErrors() &&
                      std::find(std::begin(diskFileSystems), std::end(diskFileSystems), type) !=
                          std::end(diskFileSystems);
    m_device = static_cast<std::uint64_t>(status.st_dev);
    m_folder = std::move(fd);
    if (m_reportsErrors)
        m_early.start(m_folder.get());
    return {};
}

bool FileSystemSync::covers(std::uint64_t device) const
{
    return m_folder.isOpen() && m_reportsErrors && device == m_device;
}

void FileSystemSync::wrote(std::uint64_t device)
{
    if (covers(device))
        m_early.wrote();
}

std::error_code FileSystemSync::sync() const
{
    // EIO: some data written since the folder was opened never reached the
    // disk.
    return retrying([&] { return ::syncfs(m_folder.get()); }) == 0 ? std::error_code()
                                                                   : lastError();
}

} // namespace brindlecap
