// SPDX-License-Identifier: GPL-3.0-or-later
#include "rescue_map.h"

#include <algorithm>
#include <iterator>
#include <sstream>

namespace brindlecap {

namespace {

constexpr std::string_view notePrefix = "# brindlecap ";

bool isStatus(char c)
{
    return c == '?' || c == '*' || c == '/' || c == '-' || c == '+';
}

// ddrescue's way: "0x" and at least eight upper-case hex digits. By hand:
// a map of a million blocks is two million of these at every save.
void appendHex(std::string& text, std::int64_t value)
{
    char digits[18];
    auto* start = std::end(digits);
    int count = 0;
    for (auto rest = static_cast<std::uint64_t>(value); rest != 0 || count < 8; rest >>= 4, ++count)
        *--start = "0123456789ABCDEF"[rest & 0xF];
    *--start = 'x';
    *--start = '0';
    text.append(start, std::end(digits));
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

void RescueMap::changedFrom(std::size_t page)
{
    m_rendered.pages = std::min(m_rendered.pages, page);
}

// A page is split in two when it reaches twice this many blocks.
constexpr std::size_t pageBlocks = 256;

RescueMap::RescueMap(std::int64_t size) : m_size(size)
{
    if (size > 0) {
        m_pages.push_back({{0, size, Status::nonTried}});
        count(m_pages.back().back(), 1);
    }
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

void RescueMap::count(const Block& block, int sign)
{
    auto& tally = m_tally[indexOf(block.status)];
    tally.bytes += sign * block.length;
    tally.blocks += sign;
}

std::vector<RescueMap::Block> RescueMap::blocks() const
{
    std::vector<Block> blocks;
    for (const auto& page : m_pages)
        blocks.insert(blocks.end(), page.begin(), page.end());
    return blocks;
}

// The place of the block that holds `offset` (0 <= offset < size).
RescueMap::Place RescueMap::locate(std::int64_t offset) const
{
    const auto holds = [&](std::size_t page) {
        return m_pages[page].front().offset <= offset &&
               (page + 1 == m_pages.size() || offset < m_pages[page + 1].front().offset);
    };
    auto page = m_lastPage;
    if (page >= m_pages.size() || !holds(page)) {
        page =
            page + 1 < m_pages.size() && holds(page + 1)
                ? page + 1
                : static_cast<std::size_t>(std::upper_bound(m_pages.begin(), m_pages.end(), offset,
                                                            [](std::int64_t at, const Page& p) {
                                                                return at < p.front().offset;
                                                            }) -
                                           m_pages.begin() - 1);
    }
    m_lastPage = page;
    const auto& blocks = m_pages[page];
    const auto after =
        std::upper_bound(blocks.begin(), blocks.end(), offset,
                         [](std::int64_t at, const Block& b) { return at < b.offset; });
    return {page, static_cast<std::size_t>(after - blocks.begin() - 1)};
}

// Makes a block start at `offset`, splitting the one that holds it; gives
// its place, or the end (one page past the last) at the file's end.
RescueMap::Place RescueMap::splitAt(std::int64_t offset)
{
    if (offset >= m_size)
        return {m_pages.size(), 0};
    const auto place = locate(offset);
    auto& holder = at(place);
    if (holder.offset == offset)
        return place;
    const Block tail{offset, holder.offset + holder.length - offset, holder.status};
    count(holder, -1);
    holder.length = offset - holder.offset;
    count(holder, 1);
    count(tail, 1);
    auto& page = m_pages[place.page];
    page.insert(page.begin() + static_cast<std::ptrdiff_t>(place.index) + 1, tail);
    const Place split{place.page, place.index + 1};
    if (page.size() < 2 * pageBlocks)
        return split;
    splitLargePage(place.page);
    return split.index < pageBlocks ? split : Place{split.page + 1, split.index - pageBlocks};
}

// Erases the blocks from `first` on that start before `to`, emptied pages
// after the first one too; gives `first`, where a block may be put back.
RescueMap::Place RescueMap::eraseCovered(Place first, std::int64_t to)
{
    auto page = first.page;
    auto from = first.index;
    while (page < m_pages.size()) {
        auto& blocks = m_pages[page];
        auto end = from;
        for (; end < blocks.size() && blocks[end].offset < to; ++end)
            count(blocks[end], -1);
        const bool throughPage = end == blocks.size();
        blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(from),
                     blocks.begin() + static_cast<std::ptrdiff_t>(end));
        if (!throughPage)
            break;
        ++page;
        from = 0;
    }
    const auto emptied =
        std::remove_if(m_pages.begin() + static_cast<std::ptrdiff_t>(first.page) + 1, m_pages.end(),
                       [](const Page& p) { return p.empty(); });
    m_pages.erase(emptied, m_pages.end());
    return first;
}

void RescueMap::eraseBlock(Place place)
{
    auto& page = m_pages[place.page];
    count(page[place.index], -1);
    page.erase(page.begin() + static_cast<std::ptrdiff_t>(place.index));
    if (page.empty())
        m_pages.erase(m_pages.begin() + static_cast<std::ptrdiff_t>(place.page));
}

// Joins the block at `place` to neighbours of its status; gives its place.
RescueMap::Place RescueMap::joinWithNeighbours(Place place)
{
    const auto previous = [&]() -> std::optional<Place> {
        if (place.index > 0)
            return Place{place.page, place.index - 1};
        if (place.page > 0)
            return Place{place.page - 1, m_pages[place.page - 1].size() - 1};
        return std::nullopt;
    }();
    if (previous && at(*previous).status == at(place).status) {
        const auto length = at(place).length;
        eraseBlock(place);
        count(at(*previous), -1);
        at(*previous).length += length;
        count(at(*previous), 1);
        place = *previous;
    }
    const auto next = place.index + 1 < m_pages[place.page].size()
                          ? std::optional<Place>(Place{place.page, place.index + 1})
                      : place.page + 1 < m_pages.size()
                          ? std::optional<Place>(Place{place.page + 1, 0})
                          : std::nullopt;
    if (next && at(*next).status == at(place).status) {
        const auto length = at(*next).length;
        eraseBlock(*next);
        count(at(place), -1);
        at(place).length += length;
        count(at(place), 1);
    }
    return place;
}

void RescueMap::splitLargePage(std::size_t page)
{
    if (m_pages[page].size() < 2 * pageBlocks)
        return;
    auto& blocks = m_pages[page];
    Page second(blocks.begin() + pageBlocks, blocks.end());
    blocks.resize(pageBlocks);
    m_pages.insert(m_pages.begin() + static_cast<std::ptrdiff_t>(page) + 1, std::move(second));
}

void RescueMap::append(Block block)
{
    changedFrom(m_pages.empty() ? 0 : m_pages.size() - 1);
    if (!m_pages.empty() && m_pages.back().back().status == block.status) {
        auto& last = m_pages.back().back();
        count(last, -1);
        last.length += block.length;
        count(last, 1);
        return;
    }
    if (m_pages.empty() || m_pages.back().size() >= pageBlocks)
        m_pages.emplace_back();
    m_pages.back().push_back(block);
    count(block, 1);
}

void RescueMap::mark(ByteRange range, Status status)
{
    const auto from = std::max<std::int64_t>(range.offset, 0);
    const auto to = std::min(range.end(), m_size);
    if (from >= to)
        return;
    // Nothing before the block that holds `from` changes, but for the one
    // before it, which the marked range may join.
    const auto first = locate(from).page;
    changedFrom(first > 0 ? first - 1 : 0);
    splitAt(to);
    auto place = splitAt(from);
    auto& block = at(place);
    if (block.offset + block.length == to) {
        // One block covers the range, as it mostly does: only its status changes.
        count(block, -1);
        block.status = status;
        count(block, 1);
    } else {
        place = eraseCovered(place, to);
        auto& page = m_pages[place.page];
        page.insert(page.begin() + static_cast<std::ptrdiff_t>(place.index),
                    Block{from, to - from, status});
        count(at(place), 1);
    }
    place = joinWithNeighbours(place);
    splitLargePage(place.page);
}

void RescueMap::markAll(const std::vector<ByteRange>& ranges, Status status)
{
    for (const auto& range : ranges)
        mark(range, status);
}

std::vector<ByteRange> RescueMap::rangesWith(Status status) const
{
    std::vector<ByteRange> ranges;
    for (const auto& page : m_pages)
        for (const auto& block : page)
            if (block.status == status)
                appendRange(ranges, {block.offset, block.length});
    return ranges;
}

std::int64_t RescueMap::unreadableStretches() const
{
    std::int64_t stretches = 0;
    bool inStretch = false;
    for (const auto& page : m_pages) {
        for (const auto& block : page) {
            const bool unreadable = block.status == Status::badSector ||
                                    block.status == Status::nonScraped ||
                                    block.status == Status::nonTrimmed;
            stretches += unreadable && !inStretch ? 1 : 0;
            inStretch = unreadable;
        }
    }
    return stretches;
}

std::vector<ByteRange> RescueMap::rangesWithout(Status status) const
{
    return gapsBetween(rangesWith(status), m_size);
}

std::optional<ByteRange> RescueMap::firstWith(Status status, std::int64_t from, std::int64_t to,
                                              std::int64_t minLength) const
{
    to = std::min(to, m_size);
    if (from < 0 || from >= to)
        return std::nullopt;
    minLength = std::max<std::int64_t>(std::min(minLength, to - from), 1);
    const auto first = locate(from);
    for (auto page = first.page; page < m_pages.size(); ++page) {
        for (auto index = page == first.page ? first.index : 0; index < m_pages[page].size();
             ++index) {
            const auto& block = m_pages[page][index];
            if (block.offset >= to)
                return std::nullopt;
            const auto start = std::max(block.offset, from);
            const auto end = std::min(block.offset + block.length, to);
            if (block.status == status && end - start >= minLength)
                return ByteRange{start, end - start};
        }
    }
    return std::nullopt;
}

std::string RescueMap::head(const std::string& commandLine, const std::string& started,
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
    appendHex(text, currentPosition);
    text += "     ";
    text += static_cast<char>(currentStatus);
    text += "               " + std::to_string(currentPass) + "\n";
    text += "#      pos        size  status\n";
    return text;
}

const std::string& RescueMap::blockLines() const
{
    // Only the pages changed since the last time are written out again: a
    // copy pass changes the last few pages of a map of a million blocks.
    auto& lines = m_rendered.text;
    m_rendered.pageEnds.resize(m_rendered.pages);
    lines.resize(m_rendered.pages == 0 ? 0 : m_rendered.pageEnds.back());
    for (auto page = m_rendered.pages; page < m_pages.size(); ++page) {
        for (const auto& block : m_pages[page]) {
            appendHex(lines, block.offset);
            lines.append("  ");
            appendHex(lines, block.length);
            const char end[] = {' ', ' ', static_cast<char>(block.status), '\n'};
            lines.append(end, sizeof end);
        }
        m_rendered.pageEnds.push_back(lines.size());
    }
    m_rendered.pages = m_pages.size();
    return lines;
}

std::string RescueMap::text(const std::string& commandLine, const std::string& started,
                            const std::string& now) const
{
    return head(commandLine, started, now) + blockLines();
}

std::optional<RescueMap> RescueMap::parse(std::string_view text, std::string& why)
{
    RescueMap map;
    bool haveStatusLine = false;
    std::istringstream lines{std::string(text)};
    // Lines are named by number: a map is anyone's file, and its bytes
    // printed as they are could speak to the terminal.
    std::size_t number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
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
            why = "line " + std::to_string(number) + " is not a mapfile's";
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
            why = "block line " + std::to_string(number) + " does not read";
            return std::nullopt;
        }
        std::int64_t end = 0;
        if (first != map.m_size || __builtin_add_overflow(first, length, &end)) {
            why = "its blocks do not follow each other from 0";
            return std::nullopt;
        }
        map.append({first, length, static_cast<Status>(status[0])});
        map.m_size = end;
    }
    if (!haveStatusLine) {
        why = "no status line";
        return std::nullopt;
    }
    return map;
}

} // namespace brindlecap
