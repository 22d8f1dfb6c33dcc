// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "early_writeback.h"
#include "unique_fd.h"

#include <cstdint>
#include <string>
#include <system_error>

namespace brindlecap {

// The file system a destination folder is on, put on the disk as a whole:
// one syncfs for a batch of copies instead of an fsync for each. Used only
// where syncfs also reports the write-back errors of every file on it
// (Linux 5.8 on, on the disk file systems known to write back through the
// kernel); elsewhere (FUSE, network file systems) each copy is synced itself.
class FileSystemSync final
{
public:
    // Opens the folder. A write-back error is reported only to a descriptor
    // opened before it happened, so this comes before the writes.
    // `folder` is a descriptor of a folder on it, which this keeps a copy of.
    std::error_code open(int folder);

    // Whether sync() answers for the files of that device.
    bool covers(std::uint64_t device) const;
    // Something more was written to a file on `device`: on this file
    // system, it starts on its way to the disk at once.
    void wrote(std::uint64_t device);
    std::error_code sync() const;

private:
    EarlyWriteback m_early;
    UniqueFd m_folder;
    std::uint64_t m_device = 0;
    bool m_reportsErrors = false;
};

} // namespace brindlecap
