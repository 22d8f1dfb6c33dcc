// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "job_report.h"
#include "number_format.h"

#include <string>

namespace brindlecap {

// The report printed when a job ends: one paragraph per file, then a summary.
std::string jobReportText(const JobReport& report, const NumberFormat& numbers);

// Why a file was not copied, in words; names in it are quoted.
std::string whyNotCopiedText(const FileOutcome& file);

// 0 all copied, 1 some bytes unreadable and written as zeros, 3 some data not
// written or some source not copied (a stopped file counts as not written).
int exitStatusFor(const JobReport& report);

} // namespace brindlecap
