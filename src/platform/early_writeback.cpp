// SPDX-License-Identifier: GPL-3.0-or-later
#include "early_writeback.h"

#include "retried_call.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>
#include <utility>

namespace brindlecap {

namespace {

// Each sync also commits the file system's journal and empties the disk's
// own cache: no more than ten of them a second.
constexpr auto betweenSyncs = std::chrono::milliseconds(100);

} // namespace

EarlyWriteback::~EarlyWriteback()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard guard(m_lock);
        m_quit = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

std::error_code EarlyWriteback::start(int folder)
{
    // A file description of its own, never a duplicate of the batch sync's:
    // syncfs reports a write-back error once to each file description, and
    // the report belongs to the batch's sync.
    m_folder = UniqueFd(
        retrying([&] { return ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (!m_folder.isOpen())
        return lastError();
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error& error) {
        m_folder.close();
        return error.code();
    }
    return {};
}

void EarlyWriteback::wrote()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard guard(m_lock);
        if (std::exchange(m_unwritten, true))
            return;
    }
    m_wake.notify_one();
}

void EarlyWriteback::run()
{
    // Ctrl-C and the like are the main thread's to take.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    std::unique_lock guard(m_lock);
    for (;;) {
        m_wake.wait(guard, [this] { return m_quit || m_unwritten; });
        if (m_quit)
            return;
        m_unwritten = false;
        guard.unlock();
        // Whatever fails here fails the batch's sync too, which says so.
        ::syncfs(m_folder.get());
        guard.lock();
        if (m_wake.wait_for(guard, betweenSyncs, [this] { return m_quit; }))
            return;
    }
}

} // namespace brindlecap
