// SPDX-License-Identifier: GPL-3.0-or-later
#include "job_report_json.h"

#include "job_report_text.h"
#include "quoted_name.h"

#include <algorithm>
#include <cstdio>

namespace brindlecap {

namespace {

// A JSON string of UTF-8 text; control characters (C0, DEL, C1) escaped.
std::string jsonString(const std::string& text)
{
    std::string json = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const auto length = utf8SequenceLength(text, at);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (length == 0) {
            json += "\\uFFFD"; // only names may hold such bytes, and they are quoted
        } else if (isControlCharacter(text, at, length)) {
            // A C1 character is U+0080 to U+009F: its second byte's value.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X",
                          length == 1 ? c : static_cast<unsigned char>(text[at + 1]));
            json += escaped;
        } else {
            json.append(text, at, length);
        }
        at += std::max<std::size_t>(length, 1);
    }
    return json + "\"";
}

bool isUtf8(const std::string& text)
{
    for (std::size_t at = 0; at < text.size();) {
        const auto length = utf8SequenceLength(text, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

// A name as JSON: the name itself where it is UTF-8; else its quoted form,
// and its bytes in hexadecimal in a field of their own ("KEY_bytes"), so
// that two different names never read alike.
std::string nameFields(const std::string& key, const std::string& name)
{
    if (isUtf8(name))
        return "\"" + key + "\": " + jsonString(name);
    std::string bytes;
    for (const auto c : name) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(c));
        bytes += digits;
    }
    return "\"" + key + "\": " + jsonString(quotedName(name)) + ", \"" + key + "_bytes\": \"" +
           bytes + "\"";
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
    if (file.status() == FileStatus::stopped && file.untriedBecause)
        return jsonString(untriedText(file));
    const auto error = file.firstWriteError ? file.firstWriteError : file.firstReadError;
    return error ? jsonString(error.message()) : "null";
}

} // namespace

std::string jobReportJson(const JobReport& report, int exitStatus,
                          const std::vector<std::string>& earlierMaps)
{
    std::string json = "{\"files\": [";
    const char* separator = "\n";
    for (const auto& file : report.files) {
        json += separator;
        separator = ",\n";
        json += "  {" + nameFields("source", file.source) + ", " +
                nameFields("destination", file.destination) +
                ", \"size\": " + std::to_string(file.size) + ", \"status\": \"" +
                statusName(file.status()) + "\", \"reason\": " + reasonOf(file) +
                ", \"reached\": " + std::to_string(file.reached) +
                ", \"unwritten_bytes\": " + std::to_string(file.unwrittenBytes) +
                ", \"recovered_bytes\": " + std::to_string(file.recoveredBytes) +
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
    json += "\n], \"passed_over\": [";
    separator = "\n";
    for (const auto& folder : earlierMaps) {
        json += separator;
        separator = ",\n";
        json += "  {" + nameFields("source", folder) +
                ", \"reason\": " + jsonString(earlierMapsText) + "}";
    }
    json += "\n], \"exit_status\": " + std::to_string(exitStatus) + "}\n";
    return json;
}

} // namespace brindlecap
