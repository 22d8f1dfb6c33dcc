// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "byte_range.h"
#include "file_access.h"
#include "job_report.h"
#include "rescue_map.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace brindlecap {

// What one chunk did, in offsets from the file's start. The rest of the
// chunk was left alone or not tried (a stop came).
struct ChunkOutcome
{
    std::int64_t offset = 0;
    std::int64_t length = 0;
    FileIdentity copy;                // the file written, as the descriptor that wrote it found it
    std::vector<ByteRange> finished;  // read, written and closed without an error
    std::vector<ByteRange> bad;       // tried, unreadable
    std::vector<ByteRange> presumed;  // unreadable, inside a bad stretch, never tried alone
    std::span<const std::byte> bytes; // the chunk as written, zeros where unread; for the call only
};

// What the record says of a file the job starts on.
struct FileStart
{
    // Set: the file is not to be copied at all, for this reason.
    std::error_code refused;
    // The parts of it rescued already, in order: neither read nor written
    // again, and what the copy holds there is no earlier try's kept data.
    std::vector<ByteRange> rescued;
    // The parts of it to neither read nor write now, in order: left to the
    // front end's own passes.
    std::vector<ByteRange> leftAlone;
    // The parts of the rest that an earlier try found bad, in order: each
    // of their sectors is read on its own, none presumed bad.
    std::vector<ByteRange> foundBad;
    // A later pass scrapes the inside of each bad stretch the job presumes
    // bad (the record keeps it so): the job need only find their edges.
    bool insidesScrapedLater = false;
};

// What a front end keeps of each file from one try to the next (the command
// line's rescue maps on the disk, the window's memory while it runs): the
// job leaves alone what it is told to (rescued by an earlier try, or left to
// the front end's own passes over bad sectors), reads what an earlier try
// found bad sector by sector, and hands over each chunk's outcome as it
// happens.
class RescueRecord
{
public:
    virtual ~RescueRecord() = default;

    // The job starts on a file (the report's entry for it names it).
    virtual FileStart startFile(const FileOutcome& file, const SourceFacts& source) = 0;
    virtual void chunkMoved(const ChunkOutcome& chunk) = 0;
};

// A record that keeps a rescue map of each file, which the passes after the
// copy pass read and mark, file by file.
class RescueLedger : public RescueRecord
{
public:
    // The map of the copy at `destination`, or null when it has none.
    virtual RescueMap* mapOf(const std::string& destination) = 0;
    // The copy that map describes: the file written, as found by the
    // descriptor that wrote it, or that an earlier run wrote.
    virtual std::optional<FileIdentity> copyOf(const std::string& destination) const = 0;
    // Whether earlier runs had tried all of that file (every pass was done
    // with it, or the retries were under way): only then are its bad
    // sectors tried again.
    virtual bool wasTriedThrough(const std::string& destination) const = 0;
    // A range of that file tried and found bad, or presumed bad.
    virtual void markBad(const std::string& destination, ByteRange range,
                         RescueMap::Status status) = 0;
    // Every pass is done with that file: its map says so once nothing in it
    // is left untried, what was written included.
    virtual void markFinished(const std::string& destination) = 0;
    // A range written into `copy` through a descriptor that closed without an
    // error: rescued once it is sure to be on the disk.
    virtual void markWritten(const std::string& destination, ByteRange range,
                             const FileIdentity& copy) = 0;
    // A range read but not written into the copy, for that reason.
    virtual void markNotWritten(const std::string& destination, ByteRange range,
                                std::error_code why) = 0;
    // Between two files of a pass: a record kept on the disk saves there
    // when a save is due.
    virtual void saveIfDue() = 0;
};

} // namespace brindlecap
