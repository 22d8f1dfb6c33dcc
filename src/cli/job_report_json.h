// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "job_report.h"

#include <string>
#include <vector>

namespace brindlecap {

// The report for scripts: one JSON object with every file (its paths, size,
// status, reason, unreadable ranges from 0 with both ends included, bytes not
// written, how far it got) and the exit status. A name that is UTF-8 is given
// as it is; one that is not is given quoted, as the text report quotes it,
// with its bytes in hexadecimal in a field of its own ("source_bytes",
// "destination_bytes"). Control characters are escaped.
// Folders of earlier rescue maps passed over are listed in "passed_over".
std::string jobReportJson(const JobReport& report, int exitStatus,
                          const std::vector<std::string>& earlierMaps = {});

} // namespace brindlecap
