// SPDX-License-Identifier: GPL-3.0-or-later
#include "rescue_map.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <sstream>

namespace brindlecap {

namespace {

constexpr std::string_view notePrefix = "# brindlecap ";

bool isStatus(char c)
{
    return c == '?' || c == '*' || c == '/' || c == '-' || c == '+';
}

// ddrescue's way: "0x" and at least eight upper-case hex digits.
std::string hex(std::int64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%08" PRIX64, static_cast<std::uint64_t>(value));
    return text;
}

bool readNumber(std::istringstream& words, std::int64_t& value)
{
    std::string word;
    if (!(words >> word))
        return false;
    try {
        std::size_t used = 0;
        value = std::stoll(word, &used, 0); // 0x..., 0... or decimal, as ddrescue accepts
        return used == word.size() && value >= 0;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

RescueMap::RescueMap(std::int64_t size) : m_size(size)
{
    if (size > 0)
        m_blocks.push_back({0, size, Status::nonTried});
}

void RescueMap::mark(ByteRange range, Status status)
{
    const auto from = std::max<std::int64_t>(range.offset, 0);
    const auto to = std::min(range.end(), m_size);
    if (from >= to)
        return;
    std::vector<Block> blocks;
    blocks.reserve(m_blocks.size() + 2);
    const auto add = [&blocks](Block block) {
        if (block.length <= 0)
            return;
        if (!blocks.empty() && blocks.back().status == block.status &&
            blocks.back().offset + blocks.back().length == block.offset)
            blocks.back().length += block.length;
        else
            blocks.push_back(block);
    };
    bool placed = false;
    for (const auto& block : m_blocks) {
        const auto end = block.offset + block.length;
        if (end <= from || block.offset >= to) {
            if (!placed && block.offset >= to) {
                add({from, to - from, status});
                placed = true;
            }
            add(block);
            continue;
        }
        add({block.offset, from - block.offset, block.status});
        if (!placed) {
            add({from, to - from, status});
            placed = true;
        }
        add({to, end - to, block.status});
    }
    if (!placed)
        add({from, to - from, status});
    m_blocks = std::move(blocks);
}

void RescueMap::markAll(const std::vector<ByteRange>& ranges, Status status)
{
    for (const auto& range : ranges)
        mark(range, status);
}

std::vector<ByteRange> RescueMap::rangesWith(Status status) const
{
    std::vector<ByteRange> ranges;
    for (const auto& block : m_blocks)
        if (block.status == status)
            appendRange(ranges, {block.offset, block.length});
    return ranges;
}

std::vector<ByteRange> RescueMap::rangesWithout(Status status) const
{
    return gapsBetween(rangesWith(status), m_size);
}

std::int64_t RescueMap::bytesWith(Status status) const
{
    std::int64_t bytes = 0;
    for (const auto& block : m_blocks)
        if (block.status == status)
            bytes += block.length;
    return bytes;
}

std::string RescueMap::text(const std::string& commandLine, const std::string& started,
                            const std::string& now) const
{
    std::string text =
        "# Mapfile. Created by brindlecap-cli " BRINDLECAP_VERSION " (GNU ddrescue's format)\n";
    text += "# Command line: " + commandLine + "\n";
    text += "# Start time:   " + started + "\n";
    text += "# Current time: " + now + "\n";
    for (const auto& [key, value] : notes)
        text += std::string(notePrefix) + key + ": " + value + "\n";
    text += "# current_pos  current_status  current_pass\n";
    text += hex(currentPosition) + "     " + static_cast<char>(currentStatus) + "               " +
            std::to_string(currentPass) + "\n";
    text += "#      pos        size  status\n";
    for (const auto& block : m_blocks)
        text += hex(block.offset) + "  " + hex(block.length) + "  " +
                static_cast<char>(block.status) + "\n";
    return text;
}

std::optional<RescueMap> RescueMap::parse(std::string_view text, std::string& why)
{
    RescueMap map;
    bool haveStatusLine = false;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(notePrefix, 0) == 0) {
            const auto colon = line.find(": ", notePrefix.size());
            if (colon != std::string::npos)
                map.notes[line.substr(notePrefix.size(), colon - notePrefix.size())] =
                    line.substr(colon + 2);
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        std::int64_t first = 0;
        if (!readNumber(words, first)) {
            why = "a line that is not a mapfile's: " + line;
            return std::nullopt;
        }
        std::string second;
        words >> second;
        if (!haveStatusLine) {
            if (second.size() != 1 || (!isStatus(second[0]) && second != "F" && second != "G")) {
                why = "no status line";
                return std::nullopt;
            }
            map.currentPosition = first;
            map.currentStatus =
                isStatus(second[0]) ? static_cast<Status>(second[0]) : Status::nonTried;
            words >> map.currentPass;
            haveStatusLine = true;
            continue;
        }
        std::int64_t length = 0;
        std::string status;
        std::istringstream sizeAndStatus(second);
        if (!readNumber(sizeAndStatus, length) || !(words >> status) || status.size() != 1 ||
            !isStatus(status[0]) || length <= 0) {
            why = "a block line that does not read: " + line;
            return std::nullopt;
        }
        if (first != map.m_size) {
            why = "its blocks do not follow each other from 0";
            return std::nullopt;
        }
        map.m_blocks.push_back({first, length, static_cast<Status>(status[0])});
        map.m_size = first + length;
    }
    if (!haveStatusLine) {
        why = "no status line";
        return std::nullopt;
    }
    return map;
}

} // namespace brindlecap
