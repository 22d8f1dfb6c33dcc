// SPDX-License-Identifier: GPL-3.0-or-later
#include "job_report_json.h"

#include "job_report_text.h"
#include "quoted_name.h"

#include <cstdio>

namespace brindlecap {

namespace {

std::string jsonString(const std::string& text)
{
    std::string json = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const auto length = utf8SequenceLength(text, at);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F || length == 0) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
            json += escaped;
        } else {
            json.append(text, at, length);
            at += length;
            continue;
        }
        ++at;
    }
    return json + "\"";
}

const char* statusName(FileStatus status)
{
    switch (status) {
    case FileStatus::copied:
        return "copied";
    case FileStatus::copiedWithZeros:
        return "copied with unreadable bytes";
    case FileStatus::notWrittenInFull:
        return "not written in full";
    case FileStatus::notCopied:
        return "not copied";
    case FileStatus::stopped:
        return "stopped";
    case FileStatus::notStarted:
        return "not started";
    }
    return "unknown";
}

std::string reasonOf(const FileOutcome& file)
{
    if (file.whyNotCopied)
        return jsonString(whyNotCopiedText(file));
    const auto error = file.firstWriteError ? file.firstWriteError : file.firstReadError;
    return error ? jsonString(error.message()) : "null";
}

} // namespace

std::string jobReportJson(const JobReport& report, int exitStatus)
{
    std::string json = "{\"files\": [";
    const char* separator = "\n";
    for (const auto& file : report.files) {
        json += separator;
        separator = ",\n";
        json += "  {\"source\": " + jsonString(file.source) +
                ", \"destination\": " + jsonString(file.destination) +
                ", \"size\": " + std::to_string(file.size) + ", \"status\": \"" +
                statusName(file.status()) + "\", \"reason\": " + reasonOf(file) +
                ", \"reached\": " + std::to_string(file.reached) +
                ", \"unwritten_bytes\": " + std::to_string(file.unwrittenBytes) +
                ", \"unreadable\": [";
        const char* comma = "";
        for (const auto& range : file.unreadable) {
            json += std::string(comma) + "{\"first\": " + std::to_string(range.offset) +
                    ", \"last\": " + std::to_string(range.end() - 1) +
                    ", \"bytes\": " + std::to_string(range.length) +
                    ", \"earlier_copy_kept\": " + std::to_string(file.keptEarlierWithin(range)) +
                    "}";
            comma = ", ";
        }
        json += "]}";
    }
    json += "\n], \"exit_status\": " + std::to_string(exitStatus) + "}\n";
    return json;
}

} // namespace brindlecap
