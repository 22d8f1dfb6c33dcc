// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "byte_range.h"

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
// from 0 to its size, in order, neighbours of one status joined.
class RescueMap final
{
public:
    enum class Status : char
    {
        nonTried = '?',
        nonTrimmed = '*',
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
    const std::vector<Block>& blocks() const { return m_blocks; }

    void mark(ByteRange range, Status status);
    void markAll(const std::vector<ByteRange>& ranges, Status status);
    std::vector<ByteRange> rangesWith(Status status) const;
    std::vector<ByteRange> rangesWithout(Status status) const;
    std::int64_t bytesWith(Status status) const;

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

    // Reads a mapfile; nullopt, with `why`, when it is not one or its blocks
    // do not cover the file from 0 in order.
    static std::optional<RescueMap> parse(std::string_view text, std::string& why);

private:
    std::int64_t m_size = 0;
    std::vector<Block> m_blocks;
};

} // namespace brindlecap
