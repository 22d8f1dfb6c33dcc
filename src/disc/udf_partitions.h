// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disc_catalogue.h"
#include "disc_sectors.h"
#include "udf_entry.h"

#include <map>
#include <optional>

namespace brindlecap {

// The partitions of a UDF logical volume as its partition maps give them:
// where each logical block lies on the disc. A plain map names a partition
// of the disc. A metadata partition (UDF 2.50 on, as every Blu-ray has it)
// is a file in that partition holding the folders and the file entries, and
// its mirror file keeps a second copy of them: what does not read in one is
// read from the other.
class UdfPartitions final
{
public:
    // From a logical volume descriptor (its sector's bytes) and the
    // partitions its sequence describes (number: first sector); reads the
    // metadata files.
    static UdfPartitions read(DiscSectors& sectors, std::span<const std::byte> logicalVolume,
                              const std::map<std::uint16_t, std::int64_t>& partitionStarts);

    // Where an extent's bytes lie on the disc, in order; they end early
    // where a block has no place on it.
    std::vector<DiscExtent> where(const UdfExtent& extent) const;

    // Fills the buffer from `start`, through the mirror where the metadata
    // partition's own copy does not read; what read in neither is returned,
    // as ranges of the buffer.
    std::vector<ByteRange> read(DiscSectors& sectors, UdfAddress start,
                                std::span<std::byte> buffer) const;
    // Reads the block at `address` whole, from either copy; returns where on
    // the disc the copy that read lies.
    std::optional<std::int64_t> readBlock(DiscSectors& sectors, UdfAddress address,
                                          std::span<std::byte> buffer) const;

private:
    // Blocks of a metadata partition from `firstBlock`, recorded from the
    // disc's sector `sector` on.
    struct Stretch
    {
        std::int64_t firstBlock = 0;
        std::int64_t blocks = 0;
        std::int64_t sector = 0;

        friend bool operator==(const Stretch&, const Stretch&) = default;
    };

    struct Map
    {
        std::int64_t partitionStart = -1; // sector; -1: a kind of map not read here
        bool metadata = false;
        std::vector<Stretch> file;
        std::vector<Stretch> mirror; // empty: no second copy
    };

    static std::optional<std::vector<Stretch>> metadataFile(DiscSectors& sectors,
                                                            std::int64_t partitionStart,
                                                            std::uint32_t block, int fileType);
    bool mirrored(std::uint16_t partition) const;
    std::vector<DiscExtent> where(std::uint16_t partition, std::int64_t from, std::int64_t length,
                                  bool mirror) const;
    std::vector<ByteRange> readFrom(DiscSectors& sectors, std::uint16_t partition,
                                    std::int64_t from, std::span<std::byte> buffer,
                                    bool mirror) const;

    std::vector<Map> m_maps;
    // The copy of a metadata partition that read last is tried first: a
    // scratch across the other costs one failing read, not one a block.
    mutable bool m_mirrorFirst = false;
};

} // namespace brindlecap
