// SPDX-License-Identifier: GPL-3.0-or-later
#include "background_file_access.h"

#include <chrono>
#include <utility>

namespace brindlecap {

namespace {

// Most operations are over in microseconds, and the next follows within
// microseconds: each side spins this long before it sleeps, so that the
// healthy path costs no thread switches.
constexpr auto spin = std::chrono::microseconds(60);
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

} // namespace

BackgroundFileAccess::BackgroundFileAccess(FileAccess& files, OperationWaiter& waiter)
    : m_files(files), m_waiter(waiter), m_worker([this] { work(); })
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
        m_done.store(true, std::memory_order_release);
        {
            const std::lock_guard guard(m_lock);
            if (m_callerAsleep)
                m_wake.notify_all();
        }
        if (m_callerInWaiter.load())
            m_waiter.wake();
    }
}

void BackgroundFileAccess::runOnWorker(const std::function<void()>& operation) const
{
    const auto done = [this] { return m_done.load(std::memory_order_acquire); };
    m_done.store(false, std::memory_order_relaxed);
    m_pending.store(&operation, std::memory_order_release);
    {
        const std::lock_guard guard(m_lock);
        if (m_workerAsleep)
            m_wake.notify_all();
    }
    if (!spinUntil(done)) {
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

template <typename Operation> auto BackgroundFileAccess::run(Operation operation) const
{
    decltype(operation()) result{};
    runOnWorker([&] { result = operation(); });
    return result;
}

std::error_code BackgroundFileAccess::examineSource(const std::string& path,
                                                    SourceFacts& facts) const
{
    return run([&] { return m_files.examineSource(path, facts); });
}

std::error_code BackgroundFileAccess::identify(const std::string& path,
                                               FileIdentity& identity) const
{
    return run([&] { return m_files.identify(path, identity); });
}

std::error_code BackgroundFileAccess::openSource(const std::string& path,
                                                 const FileIdentity& expected)
{
    return run([&] { return m_files.openSource(path, expected); });
}

std::error_code BackgroundFileAccess::openDestination(const std::string& path,
                                                      std::optional<FileIdentity>& identity,
                                                      unsigned permissions,
                                                      std::span<const FileIdentity> forbidden)
{
    return run([&] { return m_files.openDestination(path, identity, permissions, forbidden); });
}

ReadResult BackgroundFileAccess::readAt(std::int64_t offset, std::span<std::byte> buffer)
{
    return run([&] { return m_files.readAt(offset, buffer); });
}

WriteResult BackgroundFileAccess::writeAt(std::int64_t offset, std::span<const std::byte> buffer,
                                          std::span<const ByteRange> skip)
{
    return run([&] { return m_files.writeAt(offset, buffer, skip); });
}

std::int64_t BackgroundFileAccess::sectorSize()
{
    return run([&] { return m_files.sectorSize(); });
}

TransferResult BackgroundFileAccess::readSectors(std::int64_t offset, std::span<std::byte> buffer)
{
    return run([&] { return m_files.readSectors(offset, buffer); });
}

std::error_code BackgroundFileAccess::cutTo(std::int64_t length)
{
    return run([&] { return m_files.cutTo(length); });
}

std::error_code BackgroundFileAccess::close()
{
    return run([&] { return m_files.close(); });
}

} // namespace brindlecap
