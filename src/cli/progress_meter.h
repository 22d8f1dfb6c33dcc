// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "progress_line.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iosfwd>
#include <mutex>
#include <thread>

namespace brindlecap {

// When reads start and end, told by the thread that reads and watched by the
// progress line's; atomics, so neither waits for the other.
class ReadClock final
{
public:
    void started();
    void ended(bool gaveBytes);
    // Seconds the read under way has taken (0: none), and since the last
    // read that gave bytes.
    double waiting() const;
    double sinceGoodRead() const;

private:
    static std::int64_t now();

    std::atomic<std::int64_t> m_startedAt{0};
    std::atomic<std::int64_t> m_lastGoodAt{now()};
};

// Shows the progress line on a terminal twice a second, from a thread of its
// own: a read that hangs on a bad sector blocks the copying thread, not the
// line that says so. The copying thread hands over where the run stands;
// the line's thread only reads that (under the lock) and the read clock.
class ProgressMeter final
{
public:
    ProgressMeter(std::ostream& terminal, std::size_t width, const ReadClock& reads);
    ~ProgressMeter();
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;

    void update(const ProgressSnapshot& progress);

private:
    void run();

    std::ostream& m_terminal;
    std::size_t m_width;
    const ReadClock& m_reads;
    std::mutex m_lock;
    std::condition_variable m_wake;
    ProgressSnapshot m_progress;
    bool m_done = false;
    std::thread m_thread;
};

} // namespace brindlecap
