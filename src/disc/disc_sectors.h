// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"

#include <cstdint>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace brindlecap {

// The bytes of a disc (an image file or a drive), read through a file access
// and so with all its salvage: a sector that does not read is reported, and
// the reading goes on after it.
class DiscSectors final
{
public:
    static constexpr std::int64_t sectorSize = 2048;

    struct Read
    {
        std::int64_t bytes = 0;            // how far the disc went
        std::vector<ByteRange> unreadable; // offsets in the buffer, in order
        std::error_code error;             // the disc could not be read at all
    };

    DiscSectors(FileAccess& files, std::string source, FileIdentity identity)
        : m_files(files), m_source(std::move(source)), m_identity(identity)
    {}

    // Fills the buffer from byte `offset` of the disc.
    Read read(std::int64_t offset, std::span<std::byte> buffer);
    // Whether the bytes [offset, offset + length) of the buffer just read
    // all read.
    static bool whole(const Read& read, std::int64_t offset, std::int64_t length);

private:
    FileAccess& m_files;
    std::string m_source;
    FileIdentity m_identity;
};

} // namespace brindlecap
