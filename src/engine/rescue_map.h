// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "byte_range.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindlecap {

// What is known of each byte of one source file, in GNU ddrescue's mapfile
// format, so that ddrescuelog and ddrescueview read it: rescued ('+'), tried
// and unreadable ('-'), unreadable but inside a bad stretch and not yet tried
// sector by sector ('/'), or not tried at all ('?'). Blocks cover the file
// from 0 to its size, in order. A badly scratched disc leaves a million
// blocks, so marking a range costs O(log n) in them, and the bytes and
// blocks of each status are counted as they change.
class RescueMap final
{
public:
    enum class Status : char
    {
        nonTried = '?',
        nonTrimmed = '*', // ddrescue's own: read in its maps, never made here
        nonScraped = '/',
        badSector = '-',
        finished = '+',
    };

    struct Block
    {
        std::int64_t offset = 0;
        std::int64_t length = 0;
        Status status = Status::nonTried;
        friend bool operator==(const Block&, const Block&) = default;
    };

    // A file of `size` bytes of which nothing is tried yet.
    explicit RescueMap(std::int64_t size = 0);

    std::int64_t size() const { return m_size; }
    std::vector<Block> blocks() const;

    // Neighbours left with one status are joined.
    void mark(ByteRange range, Status status);
    void markAll(const std::vector<ByteRange>& ranges, Status status);
    std::vector<ByteRange> rangesWith(Status status) const;
    std::vector<ByteRange> rangesWithout(Status status) const;
    std::int64_t bytesWith(Status status) const { return m_tally[indexOf(status)].bytes; }
    // How many separate stretches have that status.
    std::int64_t areasWith(Status status) const { return m_tally[indexOf(status)].blocks; }
    // How many separate stretches are unreadable, tried or presumed so: the
    // stretches a report lists, where areasWith counts a stretch's tried
    // edges and its presumed inside apart.
    std::int64_t unreadableStretches() const;
    // The first stretch of at least `minLength` bytes (or all that is left
    // of [from, to), if less) with that status within [from, to).
    std::optional<ByteRange> firstWith(Status status, std::int64_t from, std::int64_t to,
                                       std::int64_t minLength) const;

    // Where the work stands: the status line ddrescue writes first.
    std::int64_t currentPosition = 0;
    Status currentStatus = Status::nonTried;
    int currentPass = 1;

    // Lines of our own, kept as comments: "# brindlecap KEY: VALUE".
    std::map<std::string, std::string> notes;

    // The whole mapfile, with comment lines at the head naming the program,
    // the command line and the times.
    std::string text(const std::string& commandLine, const std::string& started,
                     const std::string& now) const;
    // The same in two pieces, so that a map of a million blocks is written
    // without a copy of its fifty megabytes: the head, then the block lines.
    std::string head(const std::string& commandLine, const std::string& started,
                     const std::string& now) const;
    const std::string& blockLines() const;

    // Reads a mapfile; nullopt, with `why`, when it is not one or its blocks
    // do not cover the file from 0 in order.
    static std::optional<RescueMap> parse(std::string_view text, std::string& why);

private:
    struct Tally
    {
        std::int64_t bytes = 0;
        std::int64_t blocks = 0;
    };
    // Blocks are kept in pages of a few hundred, in order: a mark moves the
    // blocks of one page at most, and finding a place costs a search over
    // contiguous memory, where a tree of a million nodes would chase a cold
    // pointer at each of its levels.
    using Page = std::vector<Block>;
    struct Place
    {
        std::size_t page = 0;
        std::size_t index = 0;
    };

    static std::size_t indexOf(Status status);
    void count(const Block& block, int sign);
    Block& at(Place place) { return m_pages[place.page][place.index]; }
    Place locate(std::int64_t offset) const;
    Place splitAt(std::int64_t offset);
    Place eraseCovered(Place first, std::int64_t to);
    Place joinWithNeighbours(Place place);
    void eraseBlock(Place place);
    void append(Block block);
    void splitLargePage(std::size_t page);
    void changedFrom(std::size_t page);

    std::int64_t m_size = 0;
    std::vector<Page> m_pages; // none empty
    std::array<Tally, 5> m_tally{};
    // A pass marks one range after the other: the page of the last mark is
    // looked at first.
    mutable std::size_t m_lastPage = 0;
    // The block lines of the first `pages` pages as blockLines() last wrote
    // them, and where each page's lines end.
    struct Rendered
    {
        std::string text;
        std::vector<std::size_t> pageEnds;
        std::size_t pages = 0;
    };
    mutable Rendered m_rendered;
};

} // namespace brindlecap
