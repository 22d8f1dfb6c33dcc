// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress_meter.h"

#include <ostream>

namespace brindlecap {

namespace {

constexpr auto interval = std::chrono::milliseconds(500);
// A drive spinning up, or one that just got past a bad stretch, reads at no
// pace it will keep: the time left is guessed only after this long of
// reads that give bytes.
constexpr auto settling = std::chrono::seconds(3);

} // namespace

std::int64_t ReadClock::now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void ReadClock::started()
{
    m_startedAt = now();
}

void ReadClock::ended(bool gaveBytes)
{
    m_startedAt = 0;
    if (gaveBytes)
        m_lastGoodAt = now();
}

double ReadClock::waiting() const
{
    const auto started = m_startedAt.load();
    return started == 0 ? 0 : static_cast<double>(now() - started) / 1e9;
}

double ReadClock::sinceGoodRead() const
{
    return static_cast<double>(now() - m_lastGoodAt.load()) / 1e9;
}

ProgressMeter::ProgressMeter(std::ostream& terminal, std::size_t width, const ReadClock& reads)
    : m_terminal(terminal), m_width(width), m_reads(reads), m_thread([this] { run(); })
{}

ProgressMeter::~ProgressMeter()
{
    {
        const std::lock_guard guard(m_lock);
        m_done = true;
    }
    m_wake.notify_one();
    m_thread.join();
    m_terminal << "\r\033[K" << std::flush;
}

void ProgressMeter::update(const ProgressSnapshot& progress)
{
    const std::lock_guard guard(m_lock);
    m_progress = progress;
}

void ProgressMeter::run()
{
    std::int64_t lastRescued = 0;
    auto lastTime = std::chrono::steady_clock::now();
    auto steadySince = lastTime;
    double rate = 0;
    std::unique_lock guard(m_lock);
    while (!m_wake.wait_for(guard, interval, [this] { return m_done; })) {
        auto progress = m_progress;
        const auto now = std::chrono::steady_clock::now();
        const std::chrono::duration<double> elapsed = now - lastTime;
        // A smoothed rate, so the time left does not jump about.
        const auto recent = static_cast<double>(progress.rescued - lastRescued) / elapsed.count();
        rate = rate == 0 ? recent : 0.7 * rate + 0.3 * recent;
        lastRescued = progress.rescued;
        lastTime = now;
        progress.bytesPerSecond = rate;
        progress.waitingOnDrive = m_reads.waiting();
        progress.sinceGoodRead = m_reads.sinceGoodRead();
        if (progress.waitingOnDrive >= stalledSeconds || progress.sinceGoodRead >= stalledSeconds)
            steadySince = now;
        progress.rateSettled = now - steadySince >= settling;
        m_terminal << "\r\033[K" << progressLine(progress, m_width) << std::flush;
    }
}

} // namespace brindlecap
