// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "byte_range.h"

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace brindlecap {

enum class FileStatus
{
    copied,           // every byte read and written
    copiedWithZeros,  // every chunk written, some of them zeros for bytes the source did not give
    notWrittenInFull, // some bytes did not reach the destination
    notCopied,        // passed over: no destination file was made
    stopped,          // the job was stopped before this file's end
    notStarted,       // the job ended before it came to this file
};

// What happened to one queued file, kept beside the display so that a front
// end can tell the user more than the last texts shown.
struct FileOutcome
{
    std::string source;
    std::string destination;
    std::int64_t size = 0;
    std::error_code whyNotCopied; // set: the file was passed over
    bool finished = false;        // the last chunk was moved
    bool notStarted = false;      // the job never came to it
    std::int64_t reached = 0;     // the end of the last chunk moved

    std::vector<ByteRange> unreadable; // not read, in order, adjacent ones merged
    std::int64_t unreadableBytes = 0;
    std::error_code firstReadError;
    // The parts of `unreadable` where the destination already held bytes (an
    // earlier copy's) and keeps them; everywhere else it holds zeros there.
    std::vector<ByteRange> keptEarlier;
    std::int64_t keptEarlierBytes = 0;

    // What this copy read where the destination held an earlier try's zeros:
    // what this try recovered.
    std::int64_t recoveredBytes = 0;

    std::int64_t unwrittenBytes = 0;
    std::error_code firstWriteError;
    // Set: the medium went away (this error) before the file's end, and the
    // rest was never asked of it. That part is among `unreadable`, unless a
    // front end keeps it to be read another time.
    std::error_code untriedBecause;

    void addUnreadable(ByteRange range, std::error_code error);
    void addKeptEarlier(ByteRange range);
    // How many bytes of a range kept what an earlier copy had written.
    std::int64_t keptEarlierWithin(ByteRange range) const;
    void addUnwritten(std::int64_t bytes, std::error_code error);
    FileStatus status() const;
};

// The worst that happened in a job, best first.
enum class JobVerdict
{
    allCopied,
    unreadableAsZeros,
    notAllWritten,
};

struct JobReport
{
    std::vector<FileOutcome> files;

    JobVerdict verdict() const;
};

} // namespace brindlecap
