// SPDX-License-Identifier: GPL-3.0-or-later
#include "job_report_text.h"

#include "copy_error.h"
#include "path_text.h"
#include "quoted_name.h"

#include <map>

namespace brindlecap {

namespace {

// A copy made again into the same file keeps the earlier copy's bytes where
// this one could not read.
std::string keptText(std::int64_t kept, std::int64_t length, const NumberFormat& numbers)
{
    if (kept == 0)
        return {};
    if (kept == length)
        return "; the earlier copy's bytes kept";
    return "; " + numbers.thousands(kept) + " of them kept from the earlier copy";
}

void describeUnreadable(const FileOutcome& file, const NumberFormat& numbers, std::string& text)
{
    for (const auto& range : file.unreadable)
        text += "    unreadable: bytes " + inclusiveText(range) + " (" +
                bytesText(range.length, numbers) +
                keptText(file.keptEarlierWithin(range), range.length, numbers) + ")\n";
}

void describeFile(const FileOutcome& file, const NumberFormat& numbers, std::string& text)
{
    const auto source = quotedName(file.source);
    const auto route = source + " -> " + quotedName(file.destination);
    switch (file.status()) {
    case FileStatus::copied:
        text += "copied: " + route + " (" + bytesText(file.size, numbers) + ")\n";
        break;
    case FileStatus::copiedWithZeros:
        text += "copied with " + bytesText(file.unreadableBytes, numbers) +
                " unreadable, written as zeros: " + route + " (" + file.firstReadError.message() +
                ")\n";
        describeUnreadable(file, numbers, text);
        break;
    case FileStatus::notWrittenInFull:
        text += "not written in full: " + route + ": " +
                (file.firstWriteError ? file.firstWriteError.message() : "out of memory") + " (" +
                bytesText(file.unwrittenBytes, numbers) + " not written)\n";
        break;
    case FileStatus::notCopied:
        text += "not copied: " + source + ": " + whyNotCopiedText(file) + "\n";
        break;
    case FileStatus::stopped:
        text += "stopped: " + route + " after " + bytesText(file.reached, numbers) + " of " +
                bytesText(file.size, numbers) +
                (file.untriedBecause ? ": " + untriedText(file) +
                                           "; the copy keeps what was written so far, and the "
                                           "same command goes on from there"
                                     : " (the copy keeps what was written so far)") +
                "\n";
        describeUnreadable(file, numbers, text);
        break;
    case FileStatus::notStarted:
        text += "not started: " + route + "\n";
        break;
    }
    if (file.recoveredBytes > 0)
        text += "    recovered: " + bytesText(file.recoveredBytes, numbers) +
                " that the earlier copy was missing\n";
}

} // namespace

std::string whyNotCopiedText(const FileOutcome& file)
{
    // Which folder holds the copy that is kept matters: the advice is to
    // copy into another one.
    if (file.whyNotCopied == CopyError::rescuedFromOtherSource)
        return "the copy in " + quotedName(folderOf(file.destination)) +
               " was rescued from a different source; it is kept: copy into another folder or "
               "remove it";
    return file.whyNotCopied.message();
}

std::string untriedText(const FileOutcome& file)
{
    if (!file.untriedBecause)
        return {};
    return "the medium went away (" + file.untriedBecause.message() + ")";
}

std::string jobReportText(const JobReport& report, const NumberFormat& numbers,
                          const std::vector<std::string>& earlierMaps)
{
    std::string text;
    std::map<FileStatus, int> counts;
    for (const auto& file : report.files) {
        describeFile(file, numbers, text);
        ++counts[file.status()];
    }
    for (const auto& folder : earlierMaps)
        text += "passed over: " + quotedName(folder) + ": " + earlierMapsText + "\n";
    text += std::to_string(report.files.size()) + (report.files.size() == 1 ? " file" : " files");
    const std::pair<FileStatus, const char*> kinds[] = {
        {FileStatus::copied, "copied"},
        {FileStatus::copiedWithZeros, "copied with zeros"},
        {FileStatus::notWrittenInFull, "not written in full"},
        {FileStatus::notCopied, "not copied"},
        {FileStatus::stopped, "stopped"},
        {FileStatus::notStarted, "not started"},
    };
    const char* separator = ": ";
    for (const auto& [status, words] : kinds) {
        if (counts[status] == 0)
            continue;
        text += separator + std::to_string(counts[status]) + " " + words;
        separator = ", ";
    }
    text += "\n";
    return text;
}

} // namespace brindlecap
