// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "forwarding_file_access.h"
#include "posix_file_access.h"

#include <set>
#include <string>
#include <vector>

namespace brindlecap::testing {

// Real file access that fails where a test says: chosen byte ranges of a file
// cannot be read (EIO, every other byte reads, as the real salvage gives
// them), chosen paths refuse to open, and writes stop with ENOSPC once a file
// would pass a limit.
class FaultyFileAccess final : public ForwardingFileAccess
{
public:
    FaultyFileAccess() : ForwardingFileAccess(m_real) {}

    struct BadRange
    {
        std::string path;
        std::int64_t offset; // from 0
        std::int64_t length;
    };

    std::vector<BadRange> badRanges;
    std::set<std::string> unopenable;
    std::int64_t destinationLimit = -1; // bytes a destination may hold; -1 no limit

    // What the job did, for tests that check it never touched a source.
    std::vector<std::string> sourcesOpened;
    std::vector<std::string> destinationsOpened;
    // What was asked of the sources, in order: by bulk reads, sector by sector.
    std::vector<ByteRange> rangesRead;
    std::vector<ByteRange> rangesScraped;

    std::error_code openSource(const std::string& path, const FileIdentity& expected) override;
    std::error_code openDestination(const std::string& path, std::optional<FileIdentity>& identity,
                                    unsigned permissions,
                                    std::span<const FileIdentity> forbidden) override;
    ReadResult readAt(std::int64_t offset, std::span<std::byte> buffer) override;
    WriteResult writeAt(std::int64_t offset, std::span<const std::byte> buffer,
                        std::span<const ByteRange> skip) override;
    ReadResult skimAt(std::int64_t offset, std::span<std::byte> buffer) override;
    ReadResult scrapeAt(std::int64_t offset, std::span<std::byte> buffer) override;
    std::error_code close() override;

private:
    // A read's result with the chosen ranges of the open file unreadable.
    ReadResult failingWhereBad(std::int64_t offset, ReadResult result) const;

    // The base holds on to it from before it is built, and uses it only after.
    PosixFileAccess m_real;
    std::string m_openPath;
    bool m_openForWriting = false;
};

} // namespace brindlecap::testing
