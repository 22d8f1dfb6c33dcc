// SPDX-License-Identifier: GPL-3.0-or-later
#include "job_report.h"

#include <algorithm>

namespace brindlecap {

void FileOutcome::addUnreadable(ByteRange range, std::error_code error)
{
    if (range.length <= 0)
        return;
    appendRange(unreadable, range);
    unreadableBytes += range.length;
    if (!firstReadError)
        firstReadError = error;
}

void FileOutcome::addKeptEarlier(ByteRange range)
{
    appendRange(keptEarlier, range);
    keptEarlierBytes += std::max<std::int64_t>(range.length, 0);
}

void FileOutcome::addUnwritten(std::int64_t bytes, std::error_code error)
{
    unwrittenBytes += bytes;
    if (!firstWriteError)
        firstWriteError = error;
}

std::int64_t FileOutcome::keptEarlierWithin(ByteRange range) const
{
    std::int64_t bytes = 0;
    for (const auto& kept : keptEarlier)
        bytes += std::max<std::int64_t>(0, std::min(kept.end(), range.end()) -
                                               std::max(kept.offset, range.offset));
    return bytes;
}

FileStatus FileOutcome::status() const
{
    if (notStarted)
        return FileStatus::notStarted;
    if (whyNotCopied)
        return FileStatus::notCopied;
    if (!finished)
        return FileStatus::stopped;
    if (unwrittenBytes > 0 || firstWriteError)
        return FileStatus::notWrittenInFull;
    if (unreadableBytes > 0)
        return FileStatus::copiedWithZeros;
    return FileStatus::copied;
}

JobVerdict JobReport::verdict() const
{
    auto verdict = JobVerdict::allCopied;
    for (const auto& file : files) {
        const auto status = file.status();
        if (status == FileStatus::copiedWithZeros)
            verdict = std::max(verdict, JobVerdict::unreadableAsZeros);
        else if (status != FileStatus::copied)
            return JobVerdict::notAllWritten;
    }
    return verdict;
}

} // namespace brindlecap
