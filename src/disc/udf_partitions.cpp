// SPDX-License-Identifier: GPL-3.0-or-later
#include "udf_partitions.h"

#include "disc_words.h"

#include <algorithm>
#include <string_view>

namespace brindlecap {

namespace {

// A logical block, as the volume's descriptor was checked to say.
constexpr std::int64_t blockBytes = DiscSectors::sectorSize;
// Where a logical volume descriptor keeps its partition maps, and their
// length and count. (libcdio's record of the descriptor puts them 16 bytes
// too far on.)
constexpr std::size_t mapTableLength = 264;
constexpr std::size_t mapCount = 268;
constexpr std::size_t mapTable = 440;
constexpr int metadataFileType = 250;
constexpr int metadataMirrorType = 251;

// Whether the entity identifier at `at` (a byte of flags, then 23 of
// identifier) names `identifier`.
bool names(std::span<const std::byte> bytes, std::size_t at, std::string_view identifier)
{
    const auto field = bytes.subspan(at + 1, identifier.size());
    return std::equal(identifier.begin(), identifier.end(), field.begin(),
                      [](char a, std::byte b) { return std::byte(a) == b; });
}

} // namespace

UdfPartitions UdfPartitions::read(DiscSectors& sectors, std::span<const std::byte> logicalVolume,
                                  const std::map<std::uint16_t, std::int64_t>& partitionStarts)
{
    const auto startOf = [&](std::uint32_t number) {
        const auto found = partitionStarts.find(static_cast<std::uint16_t>(number));
        return found == partitionStarts.end() ? std::int64_t{-1} : found->second;
    };
    UdfPartitions partitions;
    const auto table = logicalVolume.subspan(mapTable).first(std::min<std::size_t>(
        wordAt(logicalVolume, mapTableLength, 4), logicalVolume.size() - mapTable));
    const auto count = wordAt(logicalVolume, mapCount, 4);
    for (std::size_t at = 0, index = 0; index < count && at + 2 <= table.size(); ++index) {
        const auto type = std::to_integer<unsigned>(table[at]);
        const auto length = std::to_integer<std::size_t>(table[at + 1]);
        if (length < 2 || at + length > table.size())
            break;
        const auto recorded = table.subspan(at, length);
        Map map;
        if (type == 1 && length == 6) {
            map.partitionStart = startOf(wordAt(recorded, 4, 2));
        } else if (type == 2 && length == 64 && names(recorded, 4, "*UDF Metadata Partition")) {
            map.metadata = true;
            const auto start = startOf(wordAt(recorded, 38, 2));
            auto file =
                start < 0 ? std::nullopt
                          : metadataFile(sectors, start, wordAt(recorded, 40, 4), metadataFileType);
            auto mirror = start < 0 ? std::nullopt
                                    : metadataFile(sectors, start, wordAt(recorded, 44, 4),
                                                   metadataMirrorType);
            if (!file)
                std::swap(file, mirror);
            if (file) {
                map.partitionStart = start;
                map.file = std::move(*file);
                // A mirror that is no duplicate lies on the same sectors.
                if (mirror && *mirror != map.file)
                    map.mirror = std::move(*mirror);
            }
        }
        // Other kinds (a sparable partition, a virtual one) are kept as
        // places nothing can be read from, so later maps keep their index.
        partitions.m_maps.push_back(std::move(map));
        at += length;
    }
    // Early writers record no map at all: their one partition is the
    // volume's.
    if (partitions.m_maps.empty() && !partitionStarts.empty()) {
        Map only;
        only.partitionStart = partitionStarts.begin()->second;
        partitions.m_maps.push_back(std::move(only));
    }
    return partitions;
}

std::optional<std::vector<UdfPartitions::Stretch>>
UdfPartitions::metadataFile(DiscSectors& sectors, std::int64_t partitionStart, std::uint32_t block,
                            int fileType)
{
    std::vector<std::byte> bytes(static_cast<std::size_t>(blockBytes));
    const auto read = sectors.read((partitionStart + block) * blockBytes, bytes);
    if (!DiscSectors::whole(read, 0, blockBytes))
        return std::nullopt;
    const auto entry = parseUdfEntry(bytes, {0, block});
    if (!entry || entry->fileType != fileType || entry->isEmbedded)
        return std::nullopt;
    std::vector<Stretch> stretches;
    std::int64_t next = 0;
    for (const auto& extent : entry->extents) {
        const auto blocks = (extent.length + blockBytes - 1) / blockBytes;
        if (!extent.zeros)
            stretches.push_back({next, blocks, partitionStart + extent.start.block});
        next += blocks;
    }
    return stretches;
}

std::vector<DiscExtent> UdfPartitions::where(const UdfExtent& extent) const
{
    if (extent.zeros)
        return {{0, extent.length, true}};
    return where(extent.start.partition, extent.start.block * blockBytes, extent.length, false);
}

std::vector<DiscExtent> UdfPartitions::where(std::uint16_t partition, std::int64_t from,
                                             std::int64_t length, bool mirror) const
{
    std::vector<DiscExtent> pieces;
    if (partition >= m_maps.size() || m_maps[partition].partitionStart < 0)
        return pieces;
    const auto& map = m_maps[partition];
    if (!map.metadata) {
        if (!mirror)
            pieces.push_back({map.partitionStart * blockBytes + from, length});
        return pieces;
    }
    const auto& stretches = mirror ? map.mirror : map.file;
    while (length > 0) {
        const auto block = from / blockBytes;
        const auto found =
            std::find_if(stretches.begin(), stretches.end(), [&](const Stretch& stretch) {
                return block >= stretch.firstBlock && block < stretch.firstBlock + stretch.blocks;
            });
        if (found == stretches.end())
            break;
        const auto part = std::min(length, (found->firstBlock + found->blocks) * blockBytes - from);
        pieces.push_back({(found->sector - found->firstBlock) * blockBytes + from, part});
        from += part;
        length -= part;
    }
    return pieces;
}

std::vector<ByteRange> UdfPartitions::read(DiscSectors& sectors, UdfAddress start,
                                           std::span<std::byte> buffer) const
{
    const auto from = static_cast<std::int64_t>(start.block) * blockBytes;
    if (!mirrored(start.partition))
        return readFrom(sectors, start.partition, from, buffer, false);
    const bool mirrorFirst = m_mirrorFirst;
    const auto unreadable = readFrom(sectors, start.partition, from, buffer, mirrorFirst);
    std::vector<ByteRange> inNeither;
    for (const auto& bad : unreadable) {
        const auto again = readFrom(sectors, start.partition, from + bad.offset,
                                    buffer.subspan(static_cast<std::size_t>(bad.offset),
                                                   static_cast<std::size_t>(bad.length)),
                                    !mirrorFirst);
        for (const auto& left : again)
            appendRange(inNeither, {bad.offset + left.offset, left.length});
        if (again.empty() || again.front().length < bad.length)
            m_mirrorFirst = !mirrorFirst;
    }
    return inNeither;
}

std::optional<std::int64_t> UdfPartitions::readBlock(DiscSectors& sectors, UdfAddress address,
                                                     std::span<std::byte> buffer) const
{
    const bool twoCopies = mirrored(address.partition);
    for (const bool mirror : {twoCopies && m_mirrorFirst, twoCopies && !m_mirrorFirst}) {
        const auto pieces =
            where(address.partition, static_cast<std::int64_t>(address.block) * blockBytes,
                  static_cast<std::int64_t>(buffer.size()), mirror);
        if (pieces.size() != 1 || pieces[0].length != static_cast<std::int64_t>(buffer.size()))
            continue;
        const auto read = sectors.read(pieces[0].offset, buffer);
        if (DiscSectors::whole(read, 0, pieces[0].length)) {
            if (twoCopies)
                m_mirrorFirst = mirror;
            return pieces[0].offset;
        }
        if (!twoCopies)
            break;
    }
    return std::nullopt;
}

bool UdfPartitions::mirrored(std::uint16_t partition) const
{
    return partition < m_maps.size() && !m_maps[partition].mirror.empty();
}

std::vector<ByteRange> UdfPartitions::readFrom(DiscSectors& sectors, std::uint16_t partition,
                                               std::int64_t from, std::span<std::byte> buffer,
                                               bool mirror) const
{
    const auto size = static_cast<std::int64_t>(buffer.size());
    std::vector<ByteRange> unreadable;
    std::int64_t filled = 0;
    for (const auto& piece : where(partition, from, size, mirror)) {
        const auto read =
            sectors.read(piece.offset, buffer.subspan(static_cast<std::size_t>(filled),
                                                      static_cast<std::size_t>(piece.length)));
        for (const auto& bad : read.unreadable)
            appendRange(unreadable, {bad.offset + filled, bad.length});
        appendRange(unreadable, {filled + read.bytes, piece.length - read.bytes});
        filled += piece.length;
    }
    appendRange(unreadable, {filled, size - filled});
    return unreadable;
}

} // namespace brindlecap
