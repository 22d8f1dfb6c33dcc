// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"
#include "job_report.h"
#include "rescue_record.h"

#include <functional>

namespace brindlecap {

// What comes after the copy pass for a file that has a rescue map, one pass
// at a time over all the run's files. Scraping reads the inside of each bad
// stretch the copy pass did not try ('/') sector by sector. Retrying tries
// each bad sector of a file that earlier runs had tried all of (every
// pass done with it) `retries` times: a run that resumes a
// stopped copy only goes on with it, since the drive has just tried those
// sectors hard; a retry helps once the disc is cleaned or moved to another
// drive. Each sector that reads is written to the copy, through the same
// checks as every chunk, and the map follows once it is on the disk.
// A stop asked for ends a pass between two reads (false); the map then says
// where it got.
bool scrapeFile(FileAccess& files, RescueLedger& record, const FileOutcome& file,
                const std::function<bool()>& stopRequested);
// The last pass: a file it is done with is finished in its map.
bool retryFile(FileAccess& files, RescueLedger& record, const FileOutcome& file, int retries,
               const std::function<bool()>& stopRequested);

} // namespace brindlecap
