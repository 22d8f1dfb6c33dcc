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
    FileIdentity copy;               // the file written, as the descriptor that wrote it found it
    std::vector<ByteRange> finished; // read, written and closed without an error
    std::vector<ByteRange> bad;      // tried, unreadable
    std::vector<ByteRange> presumed; // unreadable, inside a bad stretch, never tried alone
};

// What the record says of a file the job starts on.
struct FileStart
{
    // Set: the file is not to be copied at all, for this reason.
    std::error_code refused;
    // The parts of it to neither read nor write, in order.
    std::vector<ByteRange> leftAlone;
};

// What a front end keeps of each file between runs (the command line's
// rescue map): the job leaves alone what it is told to (rescued by an
// earlier run, or left to the front end's own passes over bad sectors), and
// hands over each chunk's outcome as it happens. The window keeps none.
class RescueRecord
{
public:
    virtual ~RescueRecord() = default;

    // The job starts on a file (the report's entry for it names it).
    virtual FileStart startFile(const FileOutcome& file, const SourceFacts& source) = 0;
    virtual void chunkMoved(const ChunkOutcome& chunk) = 0;
};

} // namespace brindlecap
