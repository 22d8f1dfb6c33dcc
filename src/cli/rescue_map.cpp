// SPDX-License-Identifier: GPL-3.0-or-later
#include "rescue_map.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <iterator>
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
        insert(m_blocks.end(), 0, {size, Status::nonTried});
}

std::size_t RescueMap::indexOf(Status status)
{
    switch (status) {
    case Status::nonTried:
        return 0;
    case Status::nonTrimmed:
        return 1;
    case Status::nonScraped:
        return 2;
    case Status::badSector:
        return 3;
    case Status::finished:
        return 4;
    }
    return 0;
}

std::vector<RescueMap::Block> RescueMap::blocks() const
{
    std::vector<Block> blocks;
    blocks.reserve(m_blocks.size());
    for (const auto& [offset, extent] : m_blocks)
        blocks.push_back({offset, extent.length, extent.status});
    return blocks;
}

RescueMap::Blocks::iterator RescueMap::insert(Blocks::iterator hint, std::int64_t offset,
                                              Extent extent)
{
    auto& tally = m_tally[indexOf(extent.status)];
    tally.bytes += extent.length;
    ++tally.blocks;
    return m_blocks.emplace_hint(hint, offset, extent);
}

RescueMap::Blocks::iterator RescueMap::erase(Blocks::iterator block)
{
    auto& tally = m_tally[indexOf(block->second.status)];
    tally.bytes -= block->second.length;
    --tally.blocks;
    return m_blocks.erase(block);
}

// Makes a block start at `offset`, splitting the one that holds it; gives
// that block, or the end where `offset` is the file's end.
RescueMap::Blocks::iterator RescueMap::splitAt(std::int64_t offset)
{
    const auto next = m_blocks.upper_bound(offset);
    if (next == m_blocks.begin())
        return next;
    const auto holder = std::prev(next);
    const auto end = holder->first + holder->second.length;
    if (holder->first == offset || offset >= end)
        return holder->first == offset ? holder : next;
    const auto status = holder->second.status;
    holder->second.length = offset - holder->first;
    m_tally[indexOf(status)].bytes -= end - offset;
    return insert(next, offset, {end - offset, status});
}

void RescueMap::joinWithNext(Blocks::iterator block)
{
    const auto next = std::next(block);
    if (next == m_blocks.end() || next->second.status != block->second.status)
        return;
    const auto length = next->second.length;
    erase(next);
    block->second.length += length;
    m_tally[indexOf(block->second.status)].bytes += length;
}

void RescueMap::mark(ByteRange range, Status status)
{
    const auto from = std::max<std::int64_t>(range.offset, 0);
    const auto to = std::min(range.end(), m_size);
    if (from >= to)
        return;
    auto first = splitAt(from);
    const auto last = splitAt(to);
    while (first != last)
        first = erase(first);
    auto block = insert(last, from, {to - from, status});
    if (block != m_blocks.begin() && std::prev(block)->second.status == status) {
        block = std::prev(block);
        joinWithNext(block);
    }
    joinWithNext(block);
}

void RescueMap::markAll(const std::vector<ByteRange>& ranges, Status status)
{
    for (const auto& range : ranges)
        mark(range, status);
}

std::vector<ByteRange> RescueMap::rangesWith(Status status) const
{
    std::vector<ByteRange> ranges;
    for (const auto& [offset, extent] : m_blocks)
        if (extent.status == status)
            appendRange(ranges, {offset, extent.length});
    return ranges;
}

std::vector<ByteRange> RescueMap::rangesWithout(Status status) const
{
    return gapsBetween(rangesWith(status), m_size);
}

std::optional<ByteRange> RescueMap::firstWith(Status status, std::int64_t from, std::int64_t to,
                                              std::int64_t minLength) const
{
    to = std::min(to, m_size);
    minLength = std::min(minLength, to - from);
    auto block = m_blocks.upper_bound(from);
    if (block != m_blocks.begin())
        --block;
    for (; block != m_blocks.end() && block->first < to; ++block) {
        const auto start = std::max(block->first, from);
        const auto end = std::min(block->first + block->second.length, to);
        if (block->second.status == status && end - start >= std::max<std::int64_t>(minLength, 1))
            return ByteRange{start, end - start};
    }
    return std::nullopt;
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
    for (const auto& [offset, extent] : m_blocks)
        text += hex(offset) + "  " + hex(extent.length) + "  " + static_cast<char>(extent.status) +
                "\n";
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
        std::int64_t end = 0;
        if (first != map.m_size || __builtin_add_overflow(first, length, &end)) {
            why = "its blocks do not follow each other from 0";
            return std::nullopt;
        }
        map.insert(map.m_blocks.end(), first, {length, static_cast<Status>(status[0])});
        map.m_size = end;
        map.joinWithNext(std::prev(map.m_blocks.end(), map.m_blocks.size() > 1 ? 2 : 1));
    }
    if (!haveStatusLine) {
        why = "no status line";
        return std::nullopt;
    }
    return map;
}

} // namespace brindlecap
