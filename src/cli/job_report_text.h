// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "job_report.h"
#include "number_format.h"

#include <string>
#include <vector>

namespace brindlecap {

// The report printed when a job ends: one paragraph per file, a line for
// each folder of earlier rescue maps passed over, then a summary.
std::string jobReportText(const JobReport& report, const NumberFormat& numbers,
                          const std::vector<std::string>& earlierMaps = {});

// Why a folder of earlier rescue maps was passed over, in words.
inline constexpr const char* earlierMapsText =
    "the rescue maps of an earlier copy, not data: not copied";

// Why a file was not copied, in words; names in it are quoted.
std::string whyNotCopiedText(const FileOutcome& file);

// Why some of a stopped file was never tried (the medium went away), in
// words; empty where a stop from the user ended it.
std::string untriedText(const FileOutcome& file);

} // namespace brindlecap
