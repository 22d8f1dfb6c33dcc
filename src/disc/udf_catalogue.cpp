// SPDX-License-Identifier: GPL-3.0-or-later
#include "udf_catalogue.h"

#include "disc_file_names.h"
#include "udf_partitions.h"

#include <algorithm>
#include <array>
#include <cdio/bytesex.h>
#include <cdio/ecma_167.h>
#include <cdio/udf.h>
#include <cstddef>
#include <cstring>
#include <map>
#include <set>

namespace brindlecap {

namespace {

constexpr std::int64_t sector = DiscSectors::sectorSize;
constexpr std::int64_t largestFolder = 16 << 20;
constexpr std::int64_t longestSequence = 64; // sectors; UDF asks for 16
constexpr const char* treeName = "UDF";
constexpr int folderType = 4;

// OSTA compressed unicode: a first byte of 8 (one byte a character, Latin-1)
// or 16 (two, big-endian), then the characters, as UTF-8.
std::string osta(std::span<const std::byte> bytes)
{
    std::string text;
    if (bytes.empty())
        return text;
    const auto width = std::to_integer<unsigned>(bytes[0]) == 16 ? 2U : 1U;
    for (std::size_t at = 1; at + width <= bytes.size(); at += width) {
        auto code = std::to_integer<unsigned>(bytes[at]);
        if (width == 2)
            code = code << 8U | std::to_integer<unsigned>(bytes[at + 1]);
        if (code < 0x80) {
            text += static_cast<char>(code);
        } else if (code < 0x800) {
            text += static_cast<char>(0xC0U | code >> 6U);
            text += static_cast<char>(0x80U | (code & 0x3FU));
        } else {
            text += static_cast<char>(0xE0U | code >> 12U);
            text += static_cast<char>(0x80U | (code >> 6U & 0x3FU));
            text += static_cast<char>(0x80U | (code & 0x3FU));
        }
    }
    return text;
}

// A dstring: OSTA characters in a field whose last byte is their length.
std::string dstring(std::span<const std::byte> field)
{
    const auto length =
        std::min<std::size_t>(std::to_integer<std::size_t>(field.back()), field.size() - 1);
    return osta(field.first(length));
}

UdfAddress addressOf(const udf_long_ad_t& extent)
{
    return {uint16_from_le(extent.loc.partitionReferenceNum), uint32_from_le(extent.loc.lba)};
}

// Where a volume's files are: its partitions, and the file set descriptor
// that leads to its root.
struct Volume
{
    UdfPartitions partitions;
    UdfAddress fileSet;
    std::string label;
};

class UdfWalk
{
public:
    UdfWalk(DiscSectors& sectors, const Volume& volume) : m_sectors(sectors), m_volume(volume)
    {
        m_listing.tree = treeName;
        m_listing.names = TreeNames::udf;
    }

    std::optional<TreeListing> walk()
    {
        std::vector<std::byte> bytes(static_cast<std::size_t>(sector));
        if (!m_volume.partitions.readBlock(m_sectors, m_volume.fileSet, bytes) ||
            !udfTagged(bytes, TAGID_FSD, m_volume.fileSet.block))
            return std::nullopt;
        udf_fsd_t fileSet{};
        std::memcpy(&fileSet, bytes.data(), sizeof fileSet);
        m_pending.push_back({"", addressOf(fileSet.root_icb)});
        while (!m_pending.empty()) {
            const auto folder = m_pending.back();
            m_pending.pop_back();
            const auto key = std::uint64_t{folder.entry.partition} << 32U | folder.entry.block;
            if (m_visited.insert(key).second)
                list(folder);
        }
        return std::move(m_listing);
    }

private:
    struct Folder
    {
        std::string path;
        UdfAddress entry; // where its file entry is
    };

    // An entry, with the sector that holds it and where that sector lies.
    struct Entry
    {
        UdfEntry recorded;
        std::vector<std::byte> sector;
        std::int64_t at = 0;
    };

    std::optional<Entry> readEntry(UdfAddress address)
    {
        Entry entry;
        entry.sector.resize(static_cast<std::size_t>(sector));
        const auto at = m_volume.partitions.readBlock(m_sectors, address, entry.sector);
        if (!at)
            return std::nullopt;
        auto recorded = parseUdfEntry(entry.sector, address);
        if (!recorded)
            return std::nullopt;
        entry.recorded = std::move(*recorded);
        entry.at = *at;
        return entry;
    }

    void list(const Folder& folder)
    {
        const auto entry = readEntry(folder.entry);
        if (!entry || entry->recorded.fileType != folderType) {
            m_listing.unlisted.push_back({folder.path, treeName, false, false});
            return;
        }
        // The folder's bytes, extent after extent, as one stretch.
        const auto& recorded = entry->recorded;
        const auto length = std::min(recorded.size, largestFolder);
        std::vector<std::byte> bytes(static_cast<std::size_t>(length));
        std::vector<ByteRange> unreadable;
        std::int64_t filled = 0;
        if (recorded.isEmbedded) {
            filled = std::min(length, static_cast<std::int64_t>(recorded.embedded));
            std::copy_n(entry->sector.begin() + static_cast<std::ptrdiff_t>(recorded.embeddedAt),
                        filled, bytes.begin());
        }
        for (const auto& extent : recorded.extents) {
            const auto part = std::min(extent.length, length - filled);
            if (part <= 0)
                break;
            auto into = std::span(bytes).subspan(static_cast<std::size_t>(filled),
                                                 static_cast<std::size_t>(part));
            if (!extent.zeros)
                for (const auto& bad : m_volume.partitions.read(m_sectors, extent.start, into))
                    appendRange(unreadable, {bad.offset + filled, bad.length});
            filled += part;
        }
        appendRange(unreadable, {filled, length - filled});
        parseFolder(folder, bytes, unreadable);
        m_listing.folders.insert(folder.path);
        if (!unreadable.empty())
            m_listing.unlisted.push_back({folder.path, treeName, true, false});
    }

    // File identifier descriptors, 4-byte aligned, across sector bounds; past
    // damage the next good one is looked for at each 4-byte step.
    void parseFolder(const Folder& folder, std::span<const std::byte> bytes,
                     const std::vector<ByteRange>& unreadable)
    {
        std::set<std::string> taken;
        std::vector<Folder> subfolders;
        constexpr std::size_t head = 38;
        for (std::size_t at = 0; at + head <= bytes.size();) {
            const auto fits = [&](std::size_t length) {
                return std::none_of(
                    unreadable.begin(), unreadable.end(), [&](const ByteRange& bad) {
                        return bad.offset < static_cast<std::int64_t>(at + length) &&
                               bad.end() > static_cast<std::int64_t>(at);
                    });
            };
            udf_fileid_desc_t described{};
            std::memcpy(&described, bytes.data() + at, head);
            const std::size_t nameLength = described.i_file_id;
            const std::size_t useLength = uint16_from_le(described.u.i_imp_use);
            const auto length = (head + useLength + nameLength + 3) / 4 * 4;
            // A descriptor records its own position in the partition only for
            // the folder's first sector; its kind and checksum say enough.
            udf_tag_t tag{};
            std::memcpy(&tag, bytes.data() + at, sizeof tag);
            if (!fits(head) || at + length > bytes.size() || !fits(length) ||
                !udfTagged(bytes.subspan(at), TAGID_FID, uint32_from_le(tag.loc))) {
                at += 4;
                continue;
            }
            const auto flags = described.file_characteristics;
            if ((flags & (UDF_FILE_DELETED | UDF_FILE_PARENT)) == 0)
                take(folder, osta(bytes.subspan(at + head + useLength, nameLength)),
                     addressOf(described.icb), (flags & UDF_FILE_DIRECTORY) != 0, subfolders,
                     taken);
            at += length;
        }
        m_pending.insert(m_pending.end(), subfolders.rbegin(), subfolders.rend());
    }

    void take(const Folder& folder, const std::string& onDisc, UdfAddress address, bool isFolder,
              std::vector<Folder>& subfolders, std::set<std::string>& taken)
    {
        auto made = fileNameFor(onDisc);
        for (int copy = 2; !taken.insert(made).second; ++copy)
            made = fileNameFor(onDisc) + " (" + std::to_string(copy) + ")";
        if (made != onDisc)
            m_listing.renamed.push_back({folder.path, onDisc, made});
        const auto path = folder.path.empty() ? made : folder.path + "/" + made;
        if (isFolder) {
            subfolders.push_back({path, address});
            return;
        }
        const auto entry = readEntry(address);
        if (!entry || entry->recorded.fileType == folderType) {
            m_listing.unlisted.push_back({path, treeName, false, false});
            return;
        }
        DiscFile file;
        file.path = path;
        file.size = entry->recorded.size;
        file.modified = entry->recorded.modified;
        file.tree = treeName;
        if (entry->recorded.isEmbedded)
            file.extents.push_back(
                {entry->at + static_cast<std::int64_t>(entry->recorded.embeddedAt),
                 static_cast<std::int64_t>(entry->recorded.embedded)});
        // Past a block with no place on the disc the rest is unreadable.
        for (const auto& extent : entry->recorded.extents) {
            const auto pieces = m_volume.partitions.where(extent);
            std::int64_t placed = 0;
            for (const auto& piece : pieces)
                placed += piece.length;
            file.extents.insert(file.extents.end(), pieces.begin(), pieces.end());
            if (placed < extent.length)
                break;
        }
        m_listing.files.push_back(std::move(file));
    }

    DiscSectors& m_sectors;
    const Volume& m_volume;
    TreeListing m_listing;
    std::vector<Folder> m_pending;
    std::set<std::uint64_t> m_visited;
};

// What the copies of one volume descriptor sequence gave: the partitions
// (number: first sector) and the logical volume descriptor.
struct SequenceFinds
{
    std::map<std::uint16_t, std::int64_t> partitions;
    std::vector<std::byte> logical;

    bool complete() const { return !logical.empty() && !partitions.empty(); }
};

// Reads a copy of a descriptor sequence from its sector `from` on, a sector
// at a time, up to its terminator. A sector that does not read ends the
// reading there, unless `pastBad`: the other copy may give the rest for no
// failing read at all. Gives where to go on from, or -1 at the end.
std::int64_t readSequence(DiscSectors& sectors, udf_extent_ad_t extent, std::int64_t from,
                          bool pastBad, SequenceFinds& finds)
{
    const auto count = std::min<std::int64_t>(uint32_from_le(extent.len) / sector, longestSequence);
    const auto start = static_cast<std::int64_t>(uint32_from_le(extent.loc));
    std::vector<std::byte> bytes(static_cast<std::size_t>(sector));
    for (auto index = from; index < count; ++index) {
        const auto where = static_cast<std::uint32_t>(start + index);
        if (!DiscSectors::whole(sectors.read((start + index) * sector, bytes), 0, sector)) {
            if (!pastBad)
                return index + 1;
            continue;
        }
        if (udfTagged(bytes, TAGID_PARTITION, where)) {
            partition_desc_t partition{};
            std::memcpy(&partition, bytes.data(), sizeof partition);
            finds.partitions[uint16_from_le(partition.number)] =
                uint32_from_le(partition.start_loc);
        } else if (udfTagged(bytes, TAGID_LOGVOL, where)) {
            finds.logical = bytes;
        } else if (udfTagged(bytes, TAGID_TERM, where)) {
            break;
        }
    }
    return -1;
}

// The volume the descriptors found describe: its partitions and file set.
std::optional<Volume> volumeOf(DiscSectors& sectors, const SequenceFinds& finds)
{
    logical_vol_desc_t recorded{};
    std::memcpy(&recorded, finds.logical.data(), sizeof recorded);
    if (uint32_from_le(recorded.logical_blocksize) != sector)
        return std::nullopt;
    Volume volume{UdfPartitions::read(sectors, finds.logical, finds.partitions),
                  addressOf(recorded.lvd_use.fsd_loc),
                  dstring(std::as_bytes(std::span(recorded.logvol_id)))};
    return volume;
}

} // namespace

UdfTree readUdf(DiscSectors& sectors, std::int64_t discBytes)
{
    UdfTree found;
    const auto last = discBytes / sector - 1;
    std::vector<std::byte> bytes(static_cast<std::size_t>(sector));
    for (const auto anchor : {std::int64_t{256}, last, last - 256}) {
        if (anchor < 256 || anchor > last)
            continue;
        const auto read = sectors.read(anchor * sector, bytes);
        if (!DiscSectors::whole(read, 0, sector) ||
            !udfTagged(bytes, TAGID_ANCHOR, static_cast<std::uint32_t>(anchor)))
            continue;
        anchor_vol_desc_ptr_t pointer{};
        std::memcpy(&pointer, bytes.data(), sizeof pointer);
        // Each copy up to its first bad sector, the main one first; only
        // where the volume is still not whole, the rest of each past it.
        const std::array copies{pointer.main_vol_desc_seq_ext, pointer.reserve_vol_desc_seq_ext};
        std::array<std::int64_t, 2> goOnFrom{0, 0};
        SequenceFinds finds;
        for (const bool pastBad : {false, true})
            for (std::size_t copy = 0; copy < copies.size() && !finds.complete(); ++copy)
                if (goOnFrom[copy] >= 0)
                    goOnFrom[copy] =
                        readSequence(sectors, copies[copy], goOnFrom[copy], pastBad, finds);
        const auto volume = finds.complete() ? volumeOf(sectors, finds) : std::nullopt;
        if (!volume)
            continue;
        found.label = volume->label;
        found.listing = UdfWalk(sectors, *volume).walk();
        if (found.listing)
            return found;
    }
    return found;
}

} // namespace brindlecap
