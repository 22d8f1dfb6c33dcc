// SPDX-License-Identifier: GPL-3.0-or-later
#include "copy_job.h"

#include "copy_error.h"
#include "medium_gone.h"
#include "path_text.h"
#include "resume_next.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace brindlecap {

namespace {

const std::string finishedText = "........Finished........";

void keepFirst(std::error_code& kept, std::error_code error)
{
    if (!kept)
        kept = error;
}

// A part of a chunk to read, and whether an earlier try found it bad.
struct ReadPart
{
    ByteRange range;
    bool foundBad = false;
};

std::vector<ReadPart> readParts(const std::vector<ByteRange>& toRead,
                                const std::vector<ByteRange>& foundBad)
{
    std::vector<ReadPart> parts;
    for (const auto& part : toRead) {
        const std::vector<ByteRange> whole{part};
        const auto fresh = rangesOutside(whole, foundBad);
        for (const auto& range : fresh)
            parts.push_back({range, false});
        for (const auto& range : rangesOutside(whole, fresh))
            parts.push_back({range, true});
    }
    std::sort(parts.begin(), parts.end(),
              [](const ReadPart& a, const ReadPart& b) { return a.range.offset < b.range.offset; });
    return parts;
}

} // namespace

CopyJob::CopyJob(JobEnvironment environment) : m_env(environment) {}

void CopyJob::Form_Load()
{
    auto& fields = m_env.fields;
    auto& controls = m_env.controls;
    controls.restoreWindowLayout();
    controls.setEnabled(Control::cmdFileSelect, true);
    controls.setEnabled(Control::cmdDirSelect, false);
    fields.setText(Field::lblFile, "");
    fields.setText(Field::lblDir, "");
    m_env.options.select(defaultBufferOption);
    for (auto field : {Field::lblFileName, Field::lblFileSize, Field::lblTotal, Field::lblByteDone,
                       Field::lblPercent})
        fields.setText(field, "");
    m_current = {};
    controls.setEnabled(Control::cmdCopy, false);
    controls.setEnabled(Control::cmdStop, false);
    setOptionsEnabled(true);
}

void CopyJob::cmdCopy_Click()
{
    // Every entry may have been removed since the destination was chosen.
    if (m_env.queue.count() == 0)
        return;
    m_state.I = 1;
    m_state.IK = 0;
    m_report = {};
    m_queuedSources.clear();
    m_sourceCopiedTo.clear();
    for (int index = 0; index < m_env.queue.count(); ++index) {
        FileIdentity identity;
        if (!m_env.files.identify(m_env.queue.entry(index), identity))
            m_queuedSources.push_back(identity);
    }
    std::sort(m_queuedSources.begin(), m_queuedSources.end());
    primeFile(0);
    auto& controls = m_env.controls;
    controls.setEnabled(Control::cmdFileSelect, false);
    controls.setEnabled(Control::cmdDirSelect, false);
    setOptionsEnabled(false);
    controls.setEnabled(Control::cmdCopy, false);
    controls.setEnabled(Control::Timer1, true);
    controls.setEnabled(Control::cmdStop, true);
}

void CopyJob::cmdStop_Click()
{
    m_env.controls.setEnabled(Control::Timer1, false);
    m_env.controls.setEnabled(Control::cmdStop, false);
}

void CopyJob::mnu_New_Click()
{
    m_env.controls.setEnabled(Control::Timer1, false);
    m_state.CopyLen = 0;
    m_state.I = 0;
    m_state.IK = 0;
    m_state.Buf = {};
    m_report = {};
    Form_Load();
}

void CopyJob::queueEntryRemoved(int index)
{
    if (!m_env.controls.isEnabled(Control::Timer1))
        return;
    resumeNext([&] {
        if (CheckedInt(index) <= m_state.IK)
            m_state.IK = m_state.IK - 1;
    });
}

void CopyJob::Timer1_Timer()
{
    auto& fields = m_env.fields;
    resumeNext([&] {
        fields.setText(Field::lblFilesDone, std::to_string((m_state.IK + 1).value()) + " From " +
                                                std::to_string(m_env.queue.count()));
    });
    if (holdsOrFails([&] { return currentFileDone(); })) {
        if (holdsOrFails([&] { return m_state.IK < CheckedInt(m_env.queue.count()) - 1; })) {
            moveOnToNextFile();
        } else {
            // Also when entries were removed behind the current file: the
            // job is over once no queued file is left after it.
            finishJob();
            return;
        }
    }
    if (!m_current.passedOver)
        transferChunk();
}

bool CopyJob::currentFileDone() const
{
    return m_current.passedOver || (m_current.chunkMoved && m_state.I > m_current.source.length);
}

void CopyJob::primeFile(int index)
{
    auto& fields = m_env.fields;
    m_current = {};
    std::string path;
    resumeNext([&] {
        path = m_env.queue.entry(index);
        fields.setText(Field::lblFile, path);
    });
    const auto name = bareName(path);
    resumeNext([&] { fields.setText(Field::lblFileName, name); });

    FileOutcome outcome;
    outcome.source = path;
    outcome.destination = joinPath(fields.text(Field::lblDir), name);
    auto error = m_env.files.examineSource(path, m_current.source);
    if (!error && !isQueuedSource(m_current.source.identity)) // appeared since Copy
        m_queuedSources.insert(std::lower_bound(m_queuedSources.begin(), m_queuedSources.end(),
                                                m_current.source.identity),
                               m_current.source.identity);
    if (!error)
        error = destinationProblem(outcome.destination);
    if (!error && m_env.record != nullptr) {
        outcome.size = m_current.source.length;
        auto start = m_env.record->startFile(outcome, m_current.source);
        error = start.refused;
        m_current.leftAlone = unionOf(start.rescued, start.leftAlone);
        m_current.rescued = std::move(start.rescued);
        m_current.foundBad = std::move(start.foundBad);
        m_current.edgesOnly = start.insidesScrapedLater;
    }
    if (error) {
        m_current.source = {};
        m_current.passedOver = true;
        outcome.whyNotCopied = error;
    }
    outcome.size = m_current.source.length;
    m_report.files.push_back(std::move(outcome));

    const auto sizeText = error ? std::string() : m_env.numbers.thousands(m_current.source.length);
    resumeNext([&] { fields.setText(Field::lblFileSize, sizeText); });
    resumeNext([&] { fields.setText(Field::lblTotal, sizeText); });
}

std::error_code CopyJob::destinationProblem(const std::string& destination) const
{
    FileIdentity there;
    const auto found = m_env.files.identify(destination, there);
    // cp too refuses to create a file through a link to nothing: the file
    // would appear wherever the link points. Where the file access writes
    // through no link at all, it says so here, before anything is written.
    if (found == CopyError::danglingSymlink || found == CopyError::destinationIsLink)
        return found;
    // Writing a file onto itself would zero the original wherever a read
    // fails, and writing onto a file still queued would destroy it unread.
    if (!found && there == m_current.source.identity)
        return CopyError::destinationIsSource;
    if (!found && isQueuedSource(there))
        return CopyError::destinationIsQueuedSource;
    const auto copied = m_sourceCopiedTo.find(destination);
    if (copied != m_sourceCopiedTo.end() && copied->second != m_current.source.identity)
        return CopyError::nameTakenInThisJob;
    return {};
}

std::error_code CopyJob::openDestination(const std::string& path)
{
    const bool firstOpen = !m_current.destination;
    // The name may have changed hands since the file was primed: the file
    // access refuses to open any of the job's sources for writing.
    const auto error = m_env.files.openDestination(path, m_current.destination,
                                                   m_current.source.permissions, m_queuedSources);
    if (error == CopyError::destinationIsQueuedSource) {
        const bool source = m_current.destination == m_current.source.identity;
        m_current.destination.reset();
        return source ? make_error_code(CopyError::destinationIsSource) : error;
    }
    if (!error && firstOpen)
        m_sourceCopiedTo[path] = m_current.source.identity;
    return error;
}

bool CopyJob::isQueuedSource(const FileIdentity& identity) const
{
    return std::binary_search(m_queuedSources.begin(), m_queuedSources.end(), identity);
}

void CopyJob::moveOnToNextFile()
{
    auto& fields = m_env.fields;
    m_state.CopyLen = 0;
    m_state.I = 1;
    m_state.Buf = {};
    resumeNext([&] { fields.setText(Field::lblTotal, ""); });
    resumeNext([&] { fields.setText(Field::lblByteDone, ""); });
    resumeNext([&] { fields.setText(Field::lblPercent, ""); });
    resumeNext([&] { m_state.IK = m_state.IK + 1; });
    resumeNext([&] { primeFile(m_state.IK.toInt()); });
}

void CopyJob::finishJob()
{
    auto& fields = m_env.fields;
    // Zeros for unreadable chunks are what the program is for; data that never
    // reached the destination, or a file passed over, is not a finished copy.
    const bool incomplete = m_report.verdict() == JobVerdict::notAllWritten;
    resumeNext([&] { fields.setText(Field::lblByteDone, finishedText); });
    resumeNext([&] { fields.setText(Field::lblTotal, finishedText); });
    resumeNext([&] { fields.setText(Field::lblPercent, incomplete ? "Incomplete" : "100 %"); });
    resumeNext([&] { fields.setText(Field::lblFilesDone, finishedText); });
    resumeNext([&] { m_env.controls.setEnabled(Control::cmdStop, false); });
    resumeNext([&] { m_env.controls.setEnabled(Control::Timer1, false); });
}

void CopyJob::transferChunk()
{
    const CheckedInt size = m_current.source.length;
    chooseChunkLength();
    auto& s = m_state;
    if (holdsOrFails([&] { return s.I + s.CopyLen - 1 > size; }))
        resumeNext([&] { s.CopyLen = size - s.I + 1; });
    bool lastChunk = false;
    resumeNext([&] { lastChunk = s.I + s.CopyLen - 1 >= size; });

    ChunkTransfer chunk;
    chunk.offset = s.I.value() - 1;
    chunk.length = s.CopyLen.value();
    readChunk(chunk);
    writeChunk(chunk, lastChunk);
    resumeNext([&] { recordChunk(chunk, lastChunk); });
    showChunkProgress(size);
    resumeNext([&] { s.I = s.I + s.CopyLen; });
    m_current.chunkMoved = true;
}

void CopyJob::chooseChunkLength()
{
    for (int option = 0; option < BufferOptions::count; ++option) {
        if (holdsOrFails([&] { return m_env.options.isSelected(option); })) {
            resumeNext([&] {
                const auto kilobytes = m_env.numbers.parse(m_env.options.caption(option));
                const auto length = CheckedInt::fromDouble(kilobytes * 1024);
                if (length < 1)
                    throw StepError("a buffer size must be positive");
                m_state.CopyLen = length;
            });
            return;
        }
    }
}

void CopyJob::readChunk(ChunkTransfer& chunk)
{
    auto& files = m_env.files;
    auto& buf = m_state.Buf;
    resumeNext([&] { sizeForChunk(buf, static_cast<std::size_t>(chunk.length)); });
    chunk.leftAlone = rangesWithin(m_current.leftAlone, chunk.offset, chunk.length);
    const auto toRead = gapsBetween(chunk.leftAlone, chunk.length);
    if (!toRead.empty()) {
        resumeNext([&] {
            chunk.readError =
                files.openSource(m_env.fields.text(Field::lblFile), m_current.source.identity);
        });
        // Unread, yet not found unreadable: a later try may read it.
        if (mediumGone(chunk.readError))
            chunk.neverTriedBecause = chunk.readError;
        const auto foundBad = rangesWithin(m_current.foundBad, chunk.offset, chunk.length);
        for (const auto& piece : readParts(toRead, foundBad)) {
            const auto& part = piece.range;
            if (!chunk.untried.empty()) {
                appendRange(chunk.untried, part);
                continue;
            }
            // Nothing more is asked of a medium that went away.
            if (chunk.neverTriedBecause) {
                appendRange(chunk.unread, part);
                appendRange(chunk.neverTried, part);
                continue;
            }
            // Without the buffer, or memory for the read itself, nothing is
            // read, and the chunk says why.
            ReadResult read;
            read.error = std::make_error_code(std::errc::not_enough_memory);
            if (std::ssize(buf) == chunk.length) {
                resumeNext([&] {
                    const auto into = std::span(buf).subspan(static_cast<std::size_t>(part.offset),
                                                             static_cast<std::size_t>(part.length));
                    const auto at = chunk.offset + part.offset;
                    read = piece.foundBad        ? files.scrapeAt(at, into)
                           : m_current.edgesOnly ? files.skimAt(at, into)
                                                 : files.readAt(at, into);
                });
            }
            keepFirst(chunk.readError, read.error);
            for (const auto& range : read.unreadable)
                appendRange(chunk.unread, {part.offset + range.offset, range.length});
            for (const auto& range : read.presumed)
                appendRange(chunk.presumed, {part.offset + range.offset, range.length});
            // The rest of the part: the end of a file that shrank, a medium
            // gone, a buffer that could not be had; or, after a stop, untried.
            const ByteRange rest{part.offset + read.bytes, part.length - read.bytes};
            appendRange(read.error == std::errc::operation_canceled ? chunk.untried : chunk.unread,
                        rest);
            if (mediumGone(read.error)) {
                appendRange(chunk.neverTried, rest);
                chunk.neverTriedBecause = read.error;
            }
        }
        files.close();
    }
    // Whatever was not read now is zeros in Buf and is never written over
    // what the destination holds.
    chunk.notWritten = unionOf(unionOf(chunk.leftAlone, chunk.unread), chunk.untried);
    zeroUnread(buf, chunk.notWritten);
}

void CopyJob::writeChunk(ChunkTransfer& chunk, bool lastChunk)
{
    // A chunk left alone whole is not touched at all, unless this job wrote
    // into the copy before and the finished copy is to get its time.
    const bool leftAloneWhole =
        chunk.leftAlone.size() == 1 && chunk.leftAlone.front() == ByteRange{0, chunk.length};
    if (leftAloneWhole)
        chunk.written.bytes = chunk.length;
    if (leftAloneWhole && !(lastChunk && m_current.destination))
        return;
    auto& files = m_env.files;
    resumeNext([&] {
        chunk.writeError = openDestination(
            joinPath(m_env.fields.text(Field::lblDir), m_env.fields.text(Field::lblFileName)));
    });
    if (!leftAloneWhole) {
        resumeNext(
            [&] { chunk.written = files.writeAt(chunk.offset, m_state.Buf, chunk.notWritten); });
        keepFirst(chunk.writeError, chunk.written.error);
    }
    if (lastChunk) {
        // An older, longer file of the same name must not keep its tail.
        keepFirst(chunk.writeError, files.cutTo(m_current.source.length));
        // The source's date, as cp -p keeps it (a photograph's matters); a
        // file system that cannot take it still holds the data.
        files.setModificationTime(m_current.source.modified);
    }
    // A late write error (a network or FUSE file system reports it here)
    // means none of the chunk can be counted on.
    if (const auto closed = files.close()) {
        keepFirst(chunk.writeError, closed);
        chunk.written.bytes = 0;
    }
}

void CopyJob::recordChunk(const ChunkTransfer& chunk, bool lastChunk)
{
    if (m_report.files.empty())
        throw std::logic_error("a chunk moved outside a started job");
    auto& outcome = m_report.files.back();
    const auto why =
        chunk.readError ? chunk.readError : make_error_code(CopyError::sourceEndedEarly);
    const auto inFile = [&](ByteRange range) {
        return ByteRange{chunk.offset + range.offset, range.length};
    };
    for (const auto& range : chunk.unread)
        outcome.addUnreadable(inFile(range), why);
    // Kept: where this try did not read, the copy held an earlier try's data
    // and keeps it. What was rescued already, or never tried now, is not a
    // stretch the copy is missing.
    std::vector<ByteRange> kept;
    for (const auto& data : chunk.written.keptData)
        appendRange(kept, partBefore(data, chunk.written.bytes));
    const auto rescued = rangesWithin(m_current.rescued, chunk.offset, chunk.length);
    for (const auto& range : rangesOutside(rangesOutside(kept, rescued), chunk.untried))
        outcome.addKeptEarlier(inFile(range));
    for (const auto& filled : chunk.written.zerosFilled)
        outcome.recoveredBytes += partBefore(filled, chunk.written.bytes).length;
    if (chunk.written.bytes < chunk.length || chunk.writeError)
        outcome.addUnwritten(chunk.length - chunk.written.bytes, chunk.writeError);
    if (!outcome.untriedBecause)
        outcome.untriedBecause = chunk.neverTriedBecause;
    outcome.finished = lastChunk && chunk.untried.empty();
    outcome.reached =
        chunk.offset + (chunk.untried.empty() ? chunk.length : chunk.untried.front().offset);
    if (m_env.record != nullptr)
        m_env.record->chunkMoved(outcomeOf(chunk));
}

ChunkOutcome CopyJob::outcomeOf(const ChunkTransfer& chunk) const
{
    const auto inFile = [&](std::vector<ByteRange> ranges) {
        for (auto& range : ranges)
            range.offset += chunk.offset;
        return ranges;
    };
    // Finished: read now, and on the destination (the write got past it).
    const std::vector<ByteRange> writtenPart{partBefore({0, chunk.length}, chunk.written.bytes)};
    // A buffer that could not be had was never written from.
    const auto bytes = std::ssize(m_state.Buf) == chunk.length
                           ? std::span<const std::byte>(m_state.Buf)
                           : std::span<const std::byte>();
    return {chunk.offset,
            chunk.length,
            m_current.destination.value_or(FileIdentity{}),
            inFile(rangesOutside(writtenPart, chunk.notWritten)),
            inFile(rangesOutside(chunk.unread, unionOf(chunk.presumed, chunk.neverTried))),
            inFile(chunk.presumed),
            bytes};
}

void CopyJob::showChunkProgress(CheckedInt size)
{
    auto& fields = m_env.fields;
    const auto& s = m_state;
    resumeNext([&] { fields.setText(Field::lblByteDone, m_env.numbers.thousands(s.I.value())); });
    resumeNext([&] {
        if (size == 0)
            throw StepError("percent of an empty file");
        const auto percent =
            static_cast<double>((s.I * 100).value()) / static_cast<double>(size.value());
        fields.setText(Field::lblPercent, m_env.numbers.percent(percent) + " %");
    });
}

void CopyJob::setOptionsEnabled(bool enabled)
{
    for (int option = 0; option < BufferOptions::count; ++option)
        m_env.controls.setEnabled(optionControl(option), enabled);
}

} // namespace brindlecap
