// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress_line.h"

#include "quoted_name.h"

#include <cstdio>

namespace brindlecap {

namespace {

std::string amount(double value, const char* const* units)
{
    int unit = 0;
    while (value >= 1000 && units[unit + 1] != nullptr) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

std::string size(double bytes)
{
    static const char* const units[] = {"B", "kB", "MB", "GB", "TB", nullptr};
    return amount(bytes, units);
}

std::string duration(double seconds)
{
    char text[32];
    if (seconds < 90)
        std::snprintf(text, sizeof text, "%.0f s", seconds);
    else if (seconds < 90 * 60)
        std::snprintf(text, sizeof text, "%.0f min", seconds / 60);
    else
        std::snprintf(text, sizeof text, "%.1f h", seconds / 3600);
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

std::string progressLine(const ProgressSnapshot& p, std::size_t width)
{
    // Appended piece by piece: GCC 12 at -O3 warns falsely about "[" + string.
    std::string line = "[pass ";
    line += std::to_string(p.pass) + " of " + std::to_string(p.passes) + ": " + p.passName;
    line += ", file " + std::to_string(p.file) + " of " + std::to_string(p.files) + "] ";
    line += quotedName(p.name) + "  ";
    line += size(static_cast<double>(p.rescued)) + " of " + size(static_cast<double>(p.total)) +
            " rescued";
    if (p.bad > 0)
        line += ", " + size(static_cast<double>(p.bad)) + " bad in " + std::to_string(p.badAreas) +
                (p.badAreas == 1 ? " area" : " areas");
    line += ", " + size(p.bytesPerSecond) + "/s";
    if (p.waitingOnDrive >= stalledSeconds) {
        line += ", waiting on the drive for " + duration(p.waitingOnDrive) + ", time left unknown";
    } else if (p.sinceGoodRead >= stalledSeconds) {
        line += ", last good read " + duration(p.sinceGoodRead) + " ago, time left unknown";
    } else if (p.rateSettled && p.bytesPerSecond > 0 && p.total > p.rescued + p.bad) {
        line += ", " +
                duration(static_cast<double>(p.total - p.rescued - p.bad) / p.bytesPerSecond) +
                " left";
    }
    cutToWidth(line, width);
    return line;
}

} // namespace brindlecap
