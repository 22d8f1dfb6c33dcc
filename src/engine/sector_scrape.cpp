// SPDX-License-Identifier: GPL-3.0-or-later
#include "sector_scrape.h"

#include "medium_gone.h"

#include <algorithm>

namespace brindlecap {

ReadResult scrapeRead(SectorProbe& probe, std::int64_t offset, std::span<std::byte> buffer,
                      const std::function<bool()>& stopRequested)
{
    ReadResult result;
    const auto end = offset + static_cast<std::int64_t>(buffer.size());
    const auto grain = std::max<std::int64_t>(probe.grain(), 1);
    const auto stopAt = [&](std::int64_t at, std::error_code error) {
        result.bytes = at - offset;
        result.error = error;
        return result;
    };
    for (auto at = offset; at < end;) {
        if (at > offset && stopRequested && stopRequested())
            return stopAt(at, std::make_error_code(std::errc::operation_canceled));
        const auto grainEnd = std::min(end, (at / grain + 1) * grain);
        const auto got =
            probe.readOnce(at, buffer.subspan(static_cast<std::size_t>(at - offset),
                                              static_cast<std::size_t>(grainEnd - at)));
        if (mediumGone(got.error))
            return stopAt(at, got.error);
        if (!got.error && got.bytes < grainEnd - at)
            return stopAt(at + got.bytes, result.error); // the end of the file
        if (got.error) {
            // A sector that gives its first bytes gives them for good; the
            // rest of it is what failed.
            appendRange(result.unreadable, {at + got.bytes - offset, grainEnd - at - got.bytes});
            if (!result.error)
                result.error = got.error;
        }
        at = grainEnd;
    }
    result.bytes = end - offset;
    return result;
}

} // namespace brindlecap
