#include "progress_line.h"

#include <algorithm>
#include <cstdio>

namespace brindlecap {

namespace {

std::int64_t currentFileBytesDone(const CopyJob& job)
{
    const auto position = job.state().I.value();
    return std::clamp<std::int64_t>(position - 1, 0, job.currentFileSize());
}

std::int64_t jobBytesDone(const CopyJob& job)
{
    const auto& files = job.report().files;
    std::int64_t done = 0;
    for (std::size_t i = 0; i + 1 < files.size(); ++i)
        done += files[i].whyNotCopied ? 0 : files[i].size;
    return done + currentFileBytesDone(job);
}

std::string rateText(double bytesPerSecond)
{
    const char* units[] = {"B/s", "kB/s", "MB/s", "GB/s"};
    int unit = 0;
    while (bytesPerSecond >= 1000 && unit < 3) {
        bytesPerSecond /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", bytesPerSecond, units[unit]);
    return text;
}

// Cuts after `width` characters, never inside a UTF-8 sequence.
void cutToWidth(std::string& line, std::size_t width)
{
    std::size_t columns = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const bool continuation = (static_cast<unsigned char>(line[i]) & 0xC0) == 0x80;
        if (!continuation && ++columns > width) {
            line.resize(i);
            return;
        }
    }
}

} // namespace

std::string progressLine(const CopyJob& job, int queued, const std::string& name,
                         double elapsedSeconds, const NumberFormat& numbers, std::size_t width)
{
    const auto size = job.currentFileSize();
    const auto done = currentFileBytesDone(job);
    // Appended piece by piece: GCC 12 at -O3 warns falsely about "[" + string.
    std::string line = "[";
    line += std::to_string(job.report().files.size()) + "/" + std::to_string(queued) + "] ";
    line += name + "  ";
    line += (done == 0 ? "0" : numbers.thousands(done)) + " / " +
            (size == 0 ? "0" : numbers.thousands(size)) + " bytes";
    if (size > 0)
        line += "  " +
                numbers.percent(100.0 * static_cast<double>(done) / static_cast<double>(size)) +
                " %";
    if (elapsedSeconds > 0)
        line += "  " + rateText(static_cast<double>(jobBytesDone(job)) / elapsedSeconds);
    cutToWidth(line, width);
    return line;
}

} // namespace brindlecap
