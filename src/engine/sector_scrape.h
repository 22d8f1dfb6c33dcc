// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"
#include "sector_salvage.h"

#include <cstdint>
#include <functional>
#include <span>

namespace brindlecap {

// Fills the buffer from `offset` one grain of the probe at a time, each read
// on its own: what a pass over stretches found bad before reads, so that
// every sector of them is tried and none is presumed. A grain that fails is
// unreadable and the reading goes on after it; a medium that is gone ends it
// where it stood (the rest never asked for), and so does the end of the file.
// `stopRequested`, if given, is asked before each read after the first: when
// it says yes, the read ends there with operation_canceled.
ReadResult scrapeRead(SectorProbe& probe, std::int64_t offset, std::span<std::byte> buffer,
                      const std::function<bool()>& stopRequested = {});

} // namespace brindlecap
