// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace brindlecap {

// A logical block of a UDF volume: the partition, as an index into the
// logical volume's partition maps, and the block's number inside it.
struct UdfAddress
{
    std::uint16_t partition = 0;
    std::uint32_t block = 0;
};

// `length` bytes of a file from `start`, or, where `zeros` is set, bytes
// allocated or left as a hole that read as zeros from nowhere.
struct UdfExtent
{
    UdfAddress start;
    std::int64_t length = 0;
    bool zeros = false;
};

// A file entry (or an extended one) as its sector records it.
struct UdfEntry
{
    int fileType = 0; // 4: a folder, 5: a file, 250 and 251: a metadata file and its mirror
    std::int64_t size = 0;
    FileTime modified;
    std::vector<UdfExtent> extents;
    // The bytes themselves are inside the entry: `embedded` bytes from
    // `embeddedAt` of its sector.
    std::size_t embeddedAt = 0;
    std::size_t embedded = 0;
    bool isEmbedded = false;
};

// Whether the bytes begin with a descriptor tag of that kind, whose checksum
// holds and which says it is recorded at block `where`: a sector that fails
// any of these is not the descriptor, whatever its bytes.
bool udfTagged(std::span<const std::byte> bytes, std::uint16_t kind, std::uint32_t where);

// The entry recorded at `at` (its sector's bytes), or none where the sector
// holds no entry or one this reader cannot follow. A short allocation
// descriptor is in the entry's own partition; a long one names its own.
std::optional<UdfEntry> parseUdfEntry(std::span<const std::byte> bytes, UdfAddress at);

} // namespace brindlecap
