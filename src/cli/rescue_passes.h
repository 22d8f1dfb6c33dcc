// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"
#include "job_report.h"
#include "map_record.h"

#include <functional>

namespace brindlecap {

// What comes after the copy pass for a file that has a rescue map: the
// inside of each bad stretch the copy pass did not try ('/') is read sector
// by sector. A file that earlier runs had tried all of (this run went on
// from nothing untried) has each of its bad sectors tried again, `retries`
// times: a run that resumes a stopped copy only goes on with it, since the
// drive has just tried those sectors hard; a retry helps once the disc is
// cleaned or moved to another drive. Each sector that reads is written to
// the copy, through the same checks as every chunk, and the map follows
// once it is on the disk.
// A stop asked for ends it between two reads; the map then says where it got.
void runRescuePasses(FileAccess& files, MapRecord& record, const FileOutcome& file, int retries,
                     const std::function<bool()>& stopRequested);

} // namespace brindlecap
