// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "job_report.h"

#include <string>

namespace brindlecap {

// The report for scripts: one JSON object with every file (its paths, size,
// status, reason, unreadable ranges from 0 with both ends included, bytes not
// written, how far it got) and the exit status. Bytes of a name that are not
// UTF-8 are written as \u00HH.
std::string jobReportJson(const JobReport& report, int exitStatus);

} // namespace brindlecap
