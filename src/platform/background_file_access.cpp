// SPDX-License-Identifier: GPL-3.0-or-later
#include "background_file_access.h"

#include <chrono>
#include <stdexcept>
#include <utility>

namespace brindlecap {

namespace {

// Most operations are over in microseconds, and the next follows within
// microseconds: each side spins this long before it sleeps, so that the
// healthy path costs no thread switches.
constexpr auto spin = std::chrono::microseconds(60);
// A chunk's read or write from the page cache takes up to a couple of
// milliseconds, and a sleeping caller wakes tens of microseconds after it:
// the caller goes on waiting awake this long, giving way to any thread that
// wants its processor (the worker itself, where the two share one).
constexpr auto awake = std::chrono::milliseconds(2);
// Then the caller sleeps this long on its own before it waits the waiter's
// way (for a window, an event loop that keeps it drawn).
constexpr auto quickOperation = std::chrono::milliseconds(5);

template <typename Condition> bool spinUntil(Condition condition)
{
    const auto until = std::chrono::steady_clock::now() + spin;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    return true;
}

template <typename Condition> bool yieldUntil(Condition condition)
{
    const auto until = std::chrono::steady_clock::now() + awake;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::yield();
    }
    return true;
}

} // namespace

BackgroundFileAccess::BackgroundFileAccess(FileAccess& files, OperationWaiter& waiter)
    : ForwardingFileAccess(files), m_waiter(waiter), m_worker([this] { work(); })
{}

BackgroundFileAccess::~BackgroundFileAccess()
{
    {
        const std::lock_guard guard(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    m_worker.join();
}

void BackgroundFileAccess::work()
{
    for (;;) {
        if (!spinUntil([this] { return m_pending.load(std::memory_order_acquire) != nullptr; })) {
            std::unique_lock guard(m_lock);
            m_workerAsleep = true;
            m_wake.wait(guard, [this] { return m_quit || m_pending.load() != nullptr; });
            m_workerAsleep = false;
            if (m_pending.load() == nullptr)
                return; // told to quit
        }
        const auto* operation = m_pending.exchange(nullptr, std::memory_order_acquire);
        std::exception_ptr failure;
        try {
            (*operation)(); // the caller waits and touches nothing of it meanwhile
        } catch (...) {
            failure = std::current_exception(); // std::bad_alloc, for the caller to meet
        }
        m_failure = failure;
        // Sequentially consistent, as the caller's store of m_callerInWaiter
        // and its load of m_done are: of this store and that one, at least
        // one is seen by the other side's load, so a caller that went into
        // the waiter after this store still finds the operation done.
        m_done.store(true);
        {
            const std::lock_guard guard(m_lock);
            if (m_callerAsleep)
                m_wake.notify_all();
        }
        if (m_callerInWaiter.load())
            m_waiter.wake();
    }
}

void BackgroundFileAccess::hand(const std::function<void()>& call) const
{
    // One operation at a time: a second one handed over while the first is
    // under way (from the waiter's event loop, say) would share its state.
    if (m_pending.load() != nullptr || m_callerInWaiter.load())
        throw std::logic_error("a file operation was handed over during another one");
    const auto done = [this] { return m_done.load(); };
    m_done.store(false, std::memory_order_relaxed);
    m_pending.store(&call, std::memory_order_release);
    {
        const std::lock_guard guard(m_lock);
        if (m_workerAsleep)
            m_wake.notify_all();
    }
    if (!spinUntil(done) && !yieldUntil(done)) {
        std::unique_lock guard(m_lock);
        m_callerAsleep = true;
        m_wake.wait_for(guard, quickOperation, done);
        m_callerAsleep = false;
    }
    if (!done()) {
        // A slow one: a drive retrying a bad sector, a disc spinning up.
        m_callerInWaiter = true;
        m_waiter.waitUntil(done);
        m_callerInWaiter = false;
    }
    if (auto failure = std::exchange(m_failure, nullptr))
        std::rethrow_exception(failure);
}

} // namespace brindlecap
