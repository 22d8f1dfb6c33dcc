// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "forwarding_file_access.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace brindlecap {

// How a thread waits for an operation running on another: the window keeps
// drawing itself meanwhile, and a terminal program may simply block.
class OperationWaiter
{
public:
    virtual ~OperationWaiter() = default;
    // Returns once `finished()` holds. It comes to hold on the other thread,
    // which then calls wake().
    virtual void waitUntil(const std::function<bool()>& finished) = 0;
    // Called on the other thread; must be safe from there.
    virtual void wake() = 0;
};

// File access whose every call, each a system call that a struggling drive
// can hold for seconds, runs on one worker thread of its own while the
// calling thread waits: a few microseconds on its own (most calls are over
// by then), then through `waiter`. Only one call is under way at a time, and
// the caller does nothing else until it returns: the wrapped file access,
// and the buffers and strings a call is given, are only ever used by one
// thread at a time, handed over with release and acquire.
class BackgroundFileAccess final : public ForwardingFileAccess
{
public:
    BackgroundFileAccess(FileAccess& files, OperationWaiter& waiter);
    ~BackgroundFileAccess() override;
    BackgroundFileAccess(const BackgroundFileAccess&) = delete;
    BackgroundFileAccess& operator=(const BackgroundFileAccess&) = delete;

protected:
    // Runs the call on the worker and waits for it.
    void hand(const std::function<void()>& call) const override;

private:
    void work();

    OperationWaiter& m_waiter;
    // The hand-over: the caller stores the operation, the worker its end.
    mutable std::atomic<const std::function<void()>*> m_pending{nullptr};
    mutable std::atomic<bool> m_done{false};
    mutable std::exception_ptr m_failure; // written before m_done, read after it
    mutable std::atomic<bool> m_callerInWaiter{false};
    // For sleeping when spinning did not do: both flags under m_lock.
    mutable std::mutex m_lock;
    mutable std::condition_variable m_wake;
    mutable bool m_workerAsleep = false;
    mutable bool m_callerAsleep = false;
    bool m_quit = false;
    std::thread m_worker;
};

} // namespace brindlecap
