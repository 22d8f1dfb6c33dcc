// SPDX-License-Identifier: GPL-3.0-or-later
#include "udf_catalogue.h"

#include "disc_file_names.h"
#include "disc_words.h"

#include <algorithm>
#include <cdio/bytesex.h>
#include <cdio/ecma_167.h>
#include <cdio/udf.h> // before udf_time.h, which uses its types
#include <cdio/udf_time.h>
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

// A descriptor's tag: its kind, its checksum over the tag's other bytes, and
// where it says it is recorded. A sector that fails any of these is not the
// descriptor, whatever its bytes.
bool tagged(std::span<const std::byte> bytes, std::uint16_t kind, std::uint32_t where)
{
    if (bytes.size() < sizeof(udf_tag_t))
        return false;
    udf_tag_t tag{};
    std::memcpy(&tag, bytes.data(), sizeof tag);
    unsigned sum = 0;
    for (std::size_t i = 0; i < 16; ++i)
        if (i != 4)
            sum += std::to_integer<unsigned>(bytes[i]);
    return uint16_from_le(tag.id) == kind && (sum & 0xFFU) == tag.cksum &&
           uint32_from_le(tag.loc) == where;
}

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

FileTime modificationOf(const udf_timestamp_t& stamp)
{
    time_t seconds = 0;
    long microseconds = 0;
    udf_stamp_to_time(&seconds, &microseconds, stamp);
    return {seconds, microseconds * 1000};
}

// Where a volume's files are: the partition the logical volume maps, and
// the file set descriptor that leads to its root.
struct Volume
{
    std::int64_t partitionStart = 0; // sector
    udf_long_ad_t fileSet{};
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
        const auto block = uint32_from_le(m_volume.fileSet.loc.lba);
        const auto read = m_sectors.read((m_volume.partitionStart + block) * sector, bytes);
        if (!DiscSectors::whole(read, 0, sector) || !tagged(bytes, TAGID_FSD, block))
            return std::nullopt;
        udf_fsd_t fileSet{};
        std::memcpy(&fileSet, bytes.data(), sizeof fileSet);
        m_pending.push_back({"", uint32_from_le(fileSet.root_icb.loc.lba)});
        while (!m_pending.empty()) {
            const auto folder = m_pending.back();
            m_pending.pop_back();
            if (m_visited.insert(folder.entry).second)
                list(folder);
        }
        return std::move(m_listing);
    }

private:
    struct Folder
    {
        std::string path;
        std::uint32_t entry = 0; // its file entry's block in the partition
    };

    struct Entry
    {
        bool folder = false;
        std::int64_t size = 0;
        std::vector<DiscExtent> extents;
        FileTime modified;
    };

    // A file entry (or an extended one): what it is, and where its bytes lie.
    std::optional<Entry> readEntry(std::uint32_t block)
    {
        std::vector<std::byte> bytes(static_cast<std::size_t>(sector));
        const auto at = (m_volume.partitionStart + block) * sector;
        const auto read = m_sectors.read(at, bytes);
        if (!DiscSectors::whole(read, 0, sector))
            return std::nullopt;
        const bool extended = tagged(bytes, TAGID_EFE, block);
        if (!extended && !tagged(bytes, TAGID_FILE_ENTRY, block))
            return std::nullopt;
        udf_file_entry_t plain{};
        std::memcpy(&plain, bytes.data(), sizeof plain);
        Entry entry;
        entry.folder = plain.icb_tag.file_type == 4;
        entry.size = static_cast<std::int64_t>(uint64_from_le(plain.info_len));
        // An extended entry has its object size and creation time besides,
        // which puts its later fields 40 bytes further on.
        udf_timestamp_t stamp{};
        std::memcpy(&stamp, bytes.data() + (extended ? 92 : 84), sizeof stamp);
        entry.modified = modificationOf(stamp);
        const std::size_t lengths = extended ? 208 : 168;
        const auto attributes = wordAt(bytes, lengths, 4);
        const auto descriptors = wordAt(bytes, lengths + 4, 4);
        const auto first = lengths + 8 + attributes;
        if (attributes > static_cast<std::size_t>(sector) ||
            first + descriptors > static_cast<std::size_t>(sector) || entry.size < 0)
            return std::nullopt;
        const auto area = std::span<const std::byte>(bytes).subspan(first, descriptors);
        switch (uint16_from_le(plain.icb_tag.flags) & 7U) {
        case 0: // short allocation descriptors
            for (std::size_t ad = 0; ad + 8 <= area.size(); ad += 8)
                addExtent(entry, wordAt(area, ad, 4), wordAt(area, ad + 4, 4));
            break;
        case 1: // long ones, each naming its partition: there is one here
            for (std::size_t ad = 0; ad + 16 <= area.size(); ad += 16)
                addExtent(entry, wordAt(area, ad, 4), wordAt(area, ad + 4, 4));
            break;
        case 3: // the bytes themselves, inside the entry
            entry.extents.push_back(
                {at + static_cast<std::int64_t>(first), static_cast<std::int64_t>(descriptors)});
            break;
        default:
            return std::nullopt;
        }
        return entry;
    }

    void addExtent(Entry& entry, std::uint32_t lengthAndKind, std::uint32_t block)
    {
        const auto length = static_cast<std::int64_t>(lengthAndKind & 0x3FFFFFFFU);
        switch (lengthAndKind >> 30U) {
        case 0: // recorded
            entry.extents.push_back({(m_volume.partitionStart + block) * sector, length});
            break;
        case 1: // allocated, never recorded: reads as zeros
        case 2:
            entry.extents.push_back({0, length, true});
            break;
        default: // the rest continues elsewhere: not followed, so unreadable
            break;
        }
    }

    void list(const Folder& folder)
    {
        const auto entry = readEntry(folder.entry);
        if (!entry || !entry->folder) {
            m_listing.unlisted.push_back({folder.path, treeName, false, false});
            return;
        }
        // The folder's bytes, extent after extent, as one stretch.
        const auto length = std::min(entry->size, largestFolder);
        std::vector<std::byte> bytes(static_cast<std::size_t>(length));
        std::vector<ByteRange> unreadable;
        std::int64_t filled = 0;
        for (const auto& extent : entry->extents) {
            const auto part = std::min(extent.length, length - filled);
            if (part <= 0)
                break;
            auto into = std::span(bytes).subspan(static_cast<std::size_t>(filled),
                                                 static_cast<std::size_t>(part));
            if (!extent.zeros) {
                const auto read = m_sectors.read(extent.offset, into);
                for (const auto& bad : read.unreadable)
                    appendRange(unreadable, {bad.offset + filled, bad.length});
                appendRange(unreadable, {filled + read.bytes, part - read.bytes});
            }
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
                !tagged(bytes.subspan(at), TAGID_FID, uint32_from_le(tag.loc))) {
                at += 4;
                continue;
            }
            const auto flags = described.file_characteristics;
            if ((flags & (UDF_FILE_DELETED | UDF_FILE_PARENT)) == 0)
                take(folder, osta(bytes.subspan(at + head + useLength, nameLength)),
                     uint32_from_le(described.icb.loc.lba), (flags & UDF_FILE_DIRECTORY) != 0,
                     subfolders, taken);
            at += length;
        }
        m_pending.insert(m_pending.end(), subfolders.rbegin(), subfolders.rend());
    }

    void take(const Folder& folder, const std::string& onDisc, std::uint32_t block, bool isFolder,
              std::vector<Folder>& subfolders, std::set<std::string>& taken)
    {
        auto made = fileNameFor(onDisc);
        for (int copy = 2; !taken.insert(made).second; ++copy)
            made = fileNameFor(onDisc) + " (" + std::to_string(copy) + ")";
        if (made != onDisc)
            m_listing.renamed.push_back({folder.path, onDisc, made});
        const auto path = folder.path.empty() ? made : folder.path + "/" + made;
        if (isFolder) {
            subfolders.push_back({path, block});
            return;
        }
        const auto entry = readEntry(block);
        if (!entry || entry->folder) {
            m_listing.unlisted.push_back({path, treeName, false, false});
            return;
        }
        DiscFile file;
        file.path = path;
        file.size = entry->size;
        file.extents = entry->extents;
        file.modified = entry->modified;
        file.tree = treeName;
        m_listing.files.push_back(std::move(file));
    }

    DiscSectors& m_sectors;
    const Volume& m_volume;
    TreeListing m_listing;
    std::vector<Folder> m_pending;
    std::set<std::uint32_t> m_visited;
};

// The partition and file set a volume descriptor sequence describes, if
// its sectors give them.
std::optional<Volume> readSequence(DiscSectors& sectors, udf_extent_ad_t extent)
{
    const auto count = std::min<std::int64_t>(uint32_from_le(extent.len) / sector, longestSequence);
    const auto start = static_cast<std::int64_t>(uint32_from_le(extent.loc));
    std::vector<std::byte> bytes(static_cast<std::size_t>(count * sector));
    const auto read = sectors.read(start * sector, bytes);
    std::map<std::uint16_t, std::int64_t> partitions; // number: first sector
    std::optional<logical_vol_desc_t> logical;
    for (std::int64_t index = 0; index < count; ++index) {
        const auto descriptor = std::span<const std::byte>(bytes).subspan(
            static_cast<std::size_t>(index * sector), static_cast<std::size_t>(sector));
        const auto where = static_cast<std::uint32_t>(start + index);
        if (!DiscSectors::whole(read, index * sector, sector))
            continue;
        if (tagged(descriptor, TAGID_PARTITION, where)) {
            partition_desc_t partition{};
            std::memcpy(&partition, descriptor.data(), sizeof partition);
            partitions[uint16_from_le(partition.number)] = uint32_from_le(partition.start_loc);
        } else if (tagged(descriptor, TAGID_LOGVOL, where)) {
            logical.emplace();
            std::memcpy(&*logical, descriptor.data(), sizeof *logical);
        } else if (tagged(descriptor, TAGID_TERM, where)) {
            break;
        }
    }
    if (!logical || uint32_from_le(logical->logical_blocksize) != sector || partitions.empty())
        return std::nullopt;
    // The file set's partition reference indexes the logical volume's
    // partition maps; with type 1 maps (the only kind read here) on one
    // partition, that is the partition the sequence describes.
    Volume volume;
    volume.fileSet = logical->lvd_use.fsd_loc;
    volume.partitionStart = partitions.begin()->second;
    volume.label = dstring(std::as_bytes(std::span(logical->logvol_id)));
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
            !tagged(bytes, TAGID_ANCHOR, static_cast<std::uint32_t>(anchor)))
            continue;
        anchor_vol_desc_ptr_t pointer{};
        std::memcpy(&pointer, bytes.data(), sizeof pointer);
        for (const auto& sequence :
             {pointer.main_vol_desc_seq_ext, pointer.reserve_vol_desc_seq_ext}) {
            const auto volume = readSequence(sectors, sequence);
            if (!volume)
                continue;
            found.label = volume->label;
            found.listing = UdfWalk(sectors, *volume).walk();
            if (found.listing)
                return found;
        }
    }
    return found;
}

} // namespace brindlecap
