// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer_options.h"
#include "checked_int.h"
#include "chunk_buffer.h"
#include "controls.h"
#include "display_fields.h"
#include "file_access.h"
#include "job_report.h"
#include "number_format.h"
#include "rescue_record.h"
#include "source_queue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace brindlecap {

// What the job reaches the world through. All of it outlives the job.
struct JobEnvironment
{
    DisplayFields& fields;
    SourceQueue& queue;
    BufferOptions& options;
    Controls& controls;
    FileAccess& files;
    NumberFormat& numbers;
    RescueRecord* record = nullptr; // what earlier tries did; none: nothing known
};

// The job's own numbers: I is the 1-based position where the next chunk
// starts, IK the queue index of the file being copied, CopyLen the length of
// the current chunk and Buf the chunk itself.
struct JobState
{
    CheckedInt I;
    CheckedInt IK;
    CheckedInt CopyLen;
    ChunkBuffer Buf;
};

// The copy job: one chunk per Timer1_Timer call, started by cmdCopy_Click,
// ended by cmdStop_Click, abandoned by mnu_New_Click. Form_Load is the reset
// to idle that the window runs at load and New runs again.
class CopyJob final
{
public:
    explicit CopyJob(JobEnvironment environment);

    void Form_Load();
    void cmdCopy_Click();
    void cmdStop_Click();
    void mnu_New_Click();
    void Timer1_Timer();

    // The queue has just lost its entry at `index`. While a job runs, an entry
    // at or before the current one shifts the current file back by one, so
    // the job must follow it or it would pass over the next queued file.
    void queueEntryRemoved(int index);

    const JobState& state() const { return m_state; }
    const JobReport& report() const { return m_report; }

private:
    struct CurrentFile
    {
        SourceFacts source;                      // as found when the file was primed
        std::optional<FileIdentity> destination; // once its first open succeeded
        std::vector<ByteRange> leftAlone;        // the record's: neither read nor written
        std::vector<ByteRange> rescued;          // the part of it rescued already
        std::vector<ByteRange> foundBad;         // the record's: read sector by sector
        bool edgesOnly = false;                  // a bad stretch's inside is scraped later
        bool passedOver = false;                 // nothing of it is to be written
        bool chunkMoved = false;                 // tells a just-primed empty file from a done one
    };

    // One chunk between its read and its write: its offset in the file from
    // 0, and ranges in it counted from its start. Only what was read now is
    // written; everything else is zeros in Buf.
    struct ChunkTransfer
    {
        std::int64_t offset = 0;
        std::int64_t length = 0;
        std::vector<ByteRange> leftAlone;  // rescued earlier, or left to later passes
        std::vector<ByteRange> unread;     // could not be read
        std::vector<ByteRange> presumed;   // the part of unread never tried alone
        std::vector<ByteRange> untried;    // not read: a stop came first
        std::vector<ByteRange> neverTried; // the part of unread not asked of the medium
        std::error_code neverTriedBecause; // the medium went away
        std::error_code readError;         // why they were not read
        std::vector<ByteRange> notWritten; // left alone, unread or untried
        WriteResult written;
        std::error_code writeError;
    };

    void primeFile(int index);
    std::error_code destinationProblem(const std::string& destination) const;
    std::error_code openDestination(const std::string& path);
    bool isQueuedSource(const FileIdentity& identity) const;
    bool currentFileDone() const;
    void moveOnToNextFile();
    void finishJob();
    void transferChunk();
    void chooseChunkLength();
    void readChunk(ChunkTransfer& chunk);
    void writeChunk(ChunkTransfer& chunk, bool lastChunk);
    void recordChunk(const ChunkTransfer& chunk, bool lastChunk);
    ChunkOutcome outcomeOf(const ChunkTransfer& chunk) const;
    void showChunkProgress(CheckedInt size);
    void setOptionsEnabled(bool enabled);

    JobEnvironment m_env;
    JobState m_state;
    CurrentFile m_current;
    JobReport m_report;
    // Every queued source as found at Copy: no destination may be one of them.
    std::vector<FileIdentity> m_queuedSources; // in order
    // Each destination written in this job, and the source copied there.
    std::unordered_map<std::string, FileIdentity> m_sourceCopiedTo;
};

} // namespace brindlecap
