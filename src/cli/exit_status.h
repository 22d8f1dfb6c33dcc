// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "job_report.h"

namespace brindlecap {

// What brindlecap-cli exits with.
inline constexpr int exitAllCopied = 0;
inline constexpr int exitUnreadableAsZeros = 1; // some bytes written as zeros
inline constexpr int exitBadCommandLine = 2;
inline constexpr int exitNotAllWritten = 3; // or some source not copied; a stopped file too
inline constexpr int exitSignalled = 128;   // plus the signal's number

// The status a job's outcome gives.
int exitStatusFor(const JobReport& report);

} // namespace brindlecap
