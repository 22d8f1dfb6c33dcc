// SPDX-License-Identifier: GPL-3.0-or-later
#include "background_file_access.h"
#include "faulty_file_access.h"
#include "headless_job.h"
#include "locale_number_format.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace brindlecap::testing {
namespace {

// The plainest way to wait: block until the operation is over.
class BlockingWaiter final : public OperationWaiter
{
public:
    void waitUntil(const std::function<bool()>& finished) override
    {
        std::unique_lock guard(m_lock);
        m_wake.wait(guard, finished);
    }
    void wake() override
    {
        {
            const std::lock_guard guard(m_lock);
        }
        m_wake.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
};

// Real file access that notes which thread each call ran on, and throws
// std::bad_alloc from a read when asked, as a failed allocation would.
class WatchedFileAccess final : public ForwardingFileAccess
{
public:
    WatchedFileAccess() : ForwardingFileAccess(m_real) {}

    mutable std::set<std::thread::id> threads;
    bool throwOnRead = false;

    ReadResult readAt(std::int64_t offset, std::span<std::byte> buffer) override
    {
        if (!throwOnRead)
            return ForwardingFileAccess::readAt(offset, buffer);
        hand([] { throw std::bad_alloc(); });
        return {};
    }

protected:
    void hand(const std::function<void()>& call) const override
    {
        threads.insert(std::this_thread::get_id());
        call();
    }

private:
    PosixFileAccess m_real;
};

TEST(BackgroundFileAccessTest, AJobCopiesExactlyWithEveryCallOnTheOneWorker)
{
    const ScratchDir scratch;
    std::filesystem::create_directory(scratch.path() / "out");
    writeFile(scratch / "a.bin", patternBytes(300001, 3));
    WatchedFileAccess watched;
    BlockingWaiter waiter;
    BackgroundFileAccess files(watched, waiter);
    LocaleNumberFormat numbers;
    HeadlessJob headless(files, numbers);
    headless.start({scratch / "a.bin"}, scratch / "out", 0);
    headless.runToEnd(1000);
    EXPECT_EQ(readFile(scratch / "out/a.bin"), patternBytes(300001, 3));
    ASSERT_EQ(watched.threads.size(), 1u);
    EXPECT_NE(*watched.threads.begin(), std::this_thread::get_id());
}

TEST(BackgroundFileAccessTest, AFailedAllocationOnTheWorkerReachesTheCaller)
{
    const ScratchDir scratch;
    writeFile(scratch / "a.bin", patternBytes(100));
    WatchedFileAccess watched;
    watched.throwOnRead = true;
    BlockingWaiter waiter;
    BackgroundFileAccess files(watched, waiter);
    FileIdentity identity;
    ASSERT_FALSE(files.identify(scratch / "a.bin", identity));
    ASSERT_FALSE(files.openSource(scratch / "a.bin", identity));
    Bytes buffer(100);
    EXPECT_THROW(files.readAt(0, buffer), std::bad_alloc);
    EXPECT_FALSE(files.close()) << "the worker goes on after a failure";
    // A job says so, and that the source did not end early.
    std::filesystem::create_directory(scratch.path() / "out");
    LocaleNumberFormat numbers;
    HeadlessJob headless(files, numbers);
    headless.start({scratch / "a.bin"}, scratch / "out", 0);
    headless.runToEnd(1000);
    EXPECT_EQ(headless.job().report().files.at(0).firstReadError, std::errc::not_enough_memory);
}

} // namespace
} // namespace brindlecap::testing
