// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "byte_range.h"
#include "file_access.h"
#include "job_report.h"

#include <cstdint>
#include <vector>

namespace brindlecap {

// What one chunk did, in offsets from the file's start. The rest of the
// chunk was left alone or not tried (a stop came).
struct ChunkOutcome
{
    std::int64_t offset = 0;
    std::int64_t length = 0;
    std::vector<ByteRange> finished; // read and written
    std::vector<ByteRange> bad;      // tried, unreadable
    std::vector<ByteRange> presumed; // unreadable, inside a bad stretch, never tried alone
};

// What a front end keeps of each file between runs (the command line's
// rescue map): the job leaves alone what it is told to (rescued by an
// earlier run, or left to the front end's own passes over bad sectors), and
// hands over each chunk's outcome as it happens. The window keeps none.
class RescueRecord
{
public:
    virtual ~RescueRecord() = default;

    // The job starts on a file (the report's entry for it names it): gives
    // the parts of it to neither read nor write, in order.
    virtual std::vector<ByteRange> startFile(const FileOutcome& file,
                                             const SourceFacts& source) = 0;
    virtual void chunkMoved(const ChunkOutcome& chunk) = 0;
};

} // namespace brindlecap
