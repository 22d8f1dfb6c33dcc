// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "unique_fd.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace brindlecap {

// Writes back what a run wrote to a file system on a thread of its own while
// the run goes on copying, within a tenth of a second, so that the sync that
// makes a batch of copies durable finds little left to wait for: the disk
// writes while the next files are read, and a drive that hangs on the next
// read holds nothing back. It promises nothing and reports nothing; the
// batch's own sync does both.
class EarlyWriteback final
{
public:
    EarlyWriteback() = default;
    ~EarlyWriteback();
    EarlyWriteback(const EarlyWriteback&) = delete;
    EarlyWriteback& operator=(const EarlyWriteback&) = delete;

    // `folder` is a folder on the file system. Without a thread to spare
    // the copies are written back when their batch is synced, as ever.
    std::error_code start(int folder);
    // Something more was written to the file system.
    void wrote();

private:
    void run();

    UniqueFd m_folder;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_unwritten = false; // under m_lock, as is m_quit
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace brindlecap
