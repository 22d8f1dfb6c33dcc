// SPDX-License-Identifier: GPL-3.0-or-later
#include "blu_ray_image.h"

#include <set>
#include <span>
#include <string_view>
#include <vector>

namespace brindlecap::testing {
namespace {

constexpr std::size_t blockBytes = 2048;
constexpr std::int64_t partitionStart = 288; // sector
// Partition references: the logical volume's maps, in order.
constexpr std::uint32_t physical = 0;
constexpr std::uint32_t metadata = 1;
constexpr std::int64_t mainSequence = 32;
constexpr std::int64_t reserveSequence = 48;
constexpr std::int64_t anchor = 256;

using Area = std::span<std::byte>;

void put(Area at, std::size_t offset, std::uint64_t value, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; ++i)
        at[offset + i] = std::byte(value >> (8 * i) & 0xFFU);
}

void putText(Area at, std::size_t offset, std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i)
        at[offset + i] = std::byte(text[i]);
}

// Latin-1 from UTF-8 of one or two bytes a character: OSTA's 8-bit form.
std::string latin1(std::string_view utf8)
{
    std::string text;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto first = static_cast<unsigned char>(utf8[i]);
        text += first < 0x80 ? static_cast<char>(first)
                             : static_cast<char>((first & 0x1FU) << 6U |
                                                 (static_cast<unsigned char>(utf8[++i]) & 0x3FU));
    }
    return text;
}

std::string osta(std::string_view utf8)
{
    return "\x08" + latin1(utf8);
}

void dstring(Area at, std::size_t offset, std::size_t length, std::string_view utf8)
{
    const auto text = osta(utf8);
    putText(at, offset, text);
    put(at, offset + length - 1, text.size(), 1);
}

void charspec(Area at, std::size_t offset)
{
    putText(at, offset + 1, "OSTA Compressed Unicode");
}

// An entity identifier; a domain's or a partition kind's suffix starts with
// the UDF revision.
void regid(Area at, std::size_t offset, std::string_view identifier, bool revision = false)
{
    putText(at, offset + 1, identifier);
    if (revision)
        put(at, offset + 24, 0x0250, 2);
}

void timestamp(Area at, std::size_t offset)
{
    put(at, offset, 1U << 12U, 2); // local time, at UTC
    put(at, offset + 2, 2009, 2);
    for (const auto& [field, value] : {std::pair{4, 7}, {5, 14}, {6, 12}})
        put(at, offset + static_cast<std::size_t>(field), static_cast<std::uint64_t>(value), 1);
}

// CRC-ITU-T, as descriptor tags carry it.
std::uint16_t crc(std::span<const std::byte> bytes)
{
    unsigned value = 0;
    for (const auto byte : bytes) {
        value ^= std::to_integer<unsigned>(byte) << 8U;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x8000U) != 0 ? (value << 1U) ^ 0x1021U : value << 1U;
    }
    return static_cast<std::uint16_t>(value);
}

// The tag of the descriptor at the start of `at`, `length` bytes long.
void tag(Area at, std::uint16_t kind, std::uint32_t location, std::size_t length)
{
    put(at, 0, kind, 2);
    put(at, 2, 3, 2); // descriptor version of UDF 2.00 on
    put(at, 8, crc(at.subspan(16, length - 16)), 2);
    put(at, 10, length - 16, 2);
    put(at, 12, location, 4);
    unsigned sum = 0;
    for (std::size_t i = 0; i < 16; ++i)
        sum += i == 4 ? 0 : std::to_integer<unsigned>(at[i]);
    at[4] = std::byte(sum & 0xFFU);
}

void longAd(Area at, std::size_t offset, std::uint64_t length, std::uint64_t block,
            std::uint32_t partition)
{
    put(at, offset, length, 4);
    put(at, offset + 4, block, 4);
    put(at, offset + 8, partition, 2);
}

// An extended file entry with one extent of `length` bytes at `block`: a
// short allocation descriptor (in the entry's own partition), or a long one
// in `partition`.
void fileEntry(Area at, std::uint32_t location, int fileType, std::uint64_t length,
               std::uint64_t block, bool longDescriptor, std::uint32_t partition = physical)
{
    constexpr std::size_t descriptors = 216;
    put(at, 20, 4, 2); // strategy 4: this one entry
    put(at, 24, 1, 2);
    put(at, 27, static_cast<std::uint64_t>(fileType), 1);
    put(at, 34, longDescriptor ? 1 : 0, 2);
    put(at, 36, 0xFFFFFFFF, 4);
    put(at, 40, 0xFFFFFFFF, 4);
    put(at, 44, 0x1CE7, 4); // read for everyone, and folders entered
    put(at, 48, 1, 2);
    put(at, 56, length, 8);
    put(at, 64, length, 8);
    put(at, 72, (length + blockBytes - 1) / blockBytes, 8);
    for (const std::size_t time : {80, 92, 104, 116})
        timestamp(at, time);
    put(at, 128, 1, 4);
    regid(at, 168, "*Brindlecap tests");
    put(at, 200, location, 8);
    std::size_t recorded = 0;
    if (length > 0 && longDescriptor) {
        longAd(at, descriptors, length, block, partition);
        recorded = 16;
    } else if (length > 0) {
        put(at, descriptors, length, 4);
        put(at, descriptors + 4, block, 4);
        recorded = 8;
    }
    put(at, 212, recorded, 4);
    tag(at, 266, location, descriptors + recorded);
}

// A file identifier of `name` (none: the parent's) for the entry at
// `entry` in the metadata partition; its length, padded to 4 bytes.
std::size_t fileIdentifier(Area at, std::uint32_t location, const std::string* name, bool folder,
                           std::uint64_t entry)
{
    constexpr std::size_t head = 38;
    const auto identifier = name == nullptr ? std::string() : osta(*name);
    const auto length = (head + identifier.size() + 3) / 4 * 4;
    if (at.empty())
        return length;
    put(at, 16, 1, 2);
    put(at, 18, (folder ? 0x02U : 0U) | (name == nullptr ? 0x08U : 0U), 1);
    put(at, 19, identifier.size(), 1);
    longAd(at, 20, blockBytes, entry, metadata);
    putText(at, head, identifier);
    tag(at, 257, location, length);
    return length;
}

struct Child
{
    std::string name;
    std::string path;
    bool folder = false;
};

struct Planned
{
    std::uint32_t entry = 0; // block in the metadata partition
    std::uint32_t data = 0;  // a folder's identifiers (metadata), or a file's data (physical)
    std::size_t length = 0;
    std::vector<Child> children;
    std::string parent;
};

std::size_t blocksFor(std::size_t length)
{
    return (length + blockBytes - 1) / blockBytes;
}

} // namespace

BluRayLayout writeBluRayImage(const std::string& image, const std::string& label,
                              const std::map<std::string, Bytes>& files)
{
    // The tree: every folder with its children, the root first.
    std::map<std::string, Planned> folders{{"", {}}};
    std::map<std::string, Planned> plannedFiles;
    for (const auto& [path, bytes] : files) {
        std::string parent;
        for (std::size_t from = 0;;) {
            const auto slash = path.find('/', from);
            const auto name = path.substr(from, slash - from);
            const auto child = parent.empty() ? name : parent + "/" + name;
            if (slash == std::string::npos) {
                folders[parent].children.push_back({name, child, false});
                plannedFiles[child].length = bytes.size();
                break;
            }
            if (!folders.contains(child)) {
                folders[parent].children.push_back({name, child, true});
                folders[child].parent = parent;
            }
            parent = child;
            from = slash + 1;
        }
    }
    // The metadata partition: the file set descriptor, then each folder's
    // entry and identifiers, then the files' entries.
    std::uint32_t next = 1;
    for (auto& [path, folder] : folders) {
        folder.length = fileIdentifier({}, 0, nullptr, true, 0);
        for (const auto& child : folder.children)
            folder.length += fileIdentifier({}, 0, &child.name, child.folder, 0);
        folder.entry = next++;
        folder.data = next;
        next += static_cast<std::uint32_t>(blocksFor(folder.length));
    }
    for (auto& [path, file] : plannedFiles)
        file.entry = next++;
    const std::uint32_t metadataBlocks = next;
    // The physical partition: the metadata file's entry and its mirror's,
    // their blocks, then the files' data.
    next = 2 + 2 * metadataBlocks;
    for (auto& [path, file] : plannedFiles) {
        file.data = next;
        next += static_cast<std::uint32_t>(blocksFor(file.length));
    }
    const std::uint32_t partitionBlocks = next;
    const auto sectors = partitionStart + partitionBlocks + 1;
    Bytes disc(static_cast<std::size_t>(sectors) * blockBytes);
    const auto sector = [&](std::int64_t number) {
        return Area(disc).subspan(static_cast<std::size_t>(number) * blockBytes, blockBytes);
    };
    const auto copyTo = [&](std::int64_t number, const Bytes& bytes) {
        std::copy(bytes.begin(), bytes.end(),
                  disc.begin() + static_cast<std::ptrdiff_t>(number * std::int64_t{blockBytes}));
    };

    Bytes meta(metadataBlocks * blockBytes);
    const auto metaBlock = [&](std::uint32_t number) {
        return Area(meta).subspan(number * blockBytes);
    };
    auto fileSet = metaBlock(0);
    timestamp(fileSet, 16);
    put(fileSet, 28, 3, 2);
    put(fileSet, 30, 3, 2);
    put(fileSet, 32, 1, 4);
    put(fileSet, 36, 1, 4);
    charspec(fileSet, 48);
    dstring(fileSet, 112, 128, label);
    charspec(fileSet, 240);
    dstring(fileSet, 304, 32, label);
    longAd(fileSet, 400, blockBytes, folders.at("").entry, metadata);
    regid(fileSet, 416, "*OSTA UDF Compliant", true);
    tag(fileSet, 256, 0, 512);
    for (const auto& [path, folder] : folders) {
        fileEntry(metaBlock(folder.entry), folder.entry, 4, folder.length, folder.data, false);
        std::size_t at = 0;
        const auto identifier = [&](const std::string* name, bool isFolder, std::uint32_t entry) {
            const auto location = folder.data + static_cast<std::uint32_t>(at / blockBytes);
            at += fileIdentifier(Area(meta).subspan(folder.data * blockBytes + at), location, name,
                                 isFolder, entry);
        };
        identifier(nullptr, true, folders.at(path.empty() ? path : folder.parent).entry);
        for (const auto& child : folder.children)
            identifier(&child.name, child.folder,
                       child.folder ? folders.at(child.path).entry
                                    : plannedFiles.at(child.path).entry);
    }
    BluRayLayout layout;
    for (const auto& [path, file] : plannedFiles) {
        fileEntry(metaBlock(file.entry), file.entry, 5, file.length, file.data, true);
        copyTo(partitionStart + file.data, files.at(path));
        layout.files[path] = partitionStart + file.data;
    }
    for (const std::uint32_t copy : {2U, 2 + metadataBlocks})
        copyTo(partitionStart + copy, meta);
    fileEntry(sector(partitionStart), 0, 250, meta.size(), 2, false);
    fileEntry(sector(partitionStart + 1), 1, 251, meta.size(), 2 + metadataBlocks, false);
    layout.metadataEntry = partitionStart;
    layout.metadata = partitionStart + 2;
    layout.mirror = partitionStart + 2 + metadataBlocks;
    layout.metadataBlocks = metadataBlocks;

    // The volume recognition sequence, the descriptor sequences, the anchors.
    for (const auto& [number, identifier] :
         {std::pair{16, "BEA01"}, {17, "NSR03"}, {18, "TEA01"}}) {
        putText(sector(number), 1, identifier);
        put(sector(number), 6, 1, 1);
    }
    for (const auto start : {mainSequence, reserveSequence}) {
        const auto where = [&](int index) { return static_cast<std::uint32_t>(start + index); };
        auto primary = sector(start);
        put(primary, 56, 1, 2);
        put(primary, 58, 1, 2);
        put(primary, 60, 2, 2);
        put(primary, 62, 3, 2);
        put(primary, 64, 1, 4);
        put(primary, 68, 1, 4);
        dstring(primary, 24, 32, label);
        dstring(primary, 72, 128, "0123456789ABCDEF" + label);
        charspec(primary, 200);
        charspec(primary, 264);
        timestamp(primary, 376);
        regid(primary, 388, "*Brindlecap tests");
        tag(primary, 1, where(0), 512);

        auto partition = sector(start + 1);
        put(partition, 16, 1, 4);
        put(partition, 20, 1, 2);
        regid(partition, 24, "+NSR03");
        put(partition, 184, 1, 4); // read only
        put(partition, 188, partitionStart, 4);
        put(partition, 192, partitionBlocks, 4);
        tag(partition, 5, where(1), 512);

        auto logical = sector(start + 2);
        put(logical, 16, 2, 4);
        charspec(logical, 20);
        dstring(logical, 84, 128, label);
        put(logical, 212, blockBytes, 4);
        regid(logical, 216, "*OSTA UDF Compliant", true);
        longAd(logical, 248, blockBytes, 0, metadata);
        put(logical, 264, 6 + 64, 4);
        put(logical, 268, 2, 4);
        regid(logical, 272, "*Brindlecap tests");
        auto maps = logical.subspan(440);
        put(maps, 0, 1, 1);
        put(maps, 1, 6, 1);
        put(maps, 2, 1, 2);
        put(maps, 4, physical, 2);
        auto metadataMap = maps.subspan(6);
        put(metadataMap, 0, 2, 1);
        put(metadataMap, 1, 64, 1);
        regid(metadataMap, 4, "*UDF Metadata Partition", true);
        put(metadataMap, 36, 1, 2);
        put(metadataMap, 38, physical, 2);
        put(metadataMap, 40, 0, 4);
        put(metadataMap, 44, 1, 4);
        put(metadataMap, 48, 0xFFFFFFFF, 4); // no bitmap: nothing is free
        put(metadataMap, 52, 32, 4);
        put(metadataMap, 56, 1, 2);
        put(metadataMap, 58, 1, 1); // the mirror is a copy of its own
        tag(logical, 6, where(2), 440 + 70);

        tag(sector(start + 3), 8, where(3), 512);
    }
    for (const auto at : {anchor, sectors - 1}) {
        auto pointer = sector(at);
        put(pointer, 16, 16 * blockBytes, 4);
        put(pointer, 20, mainSequence, 4);
        put(pointer, 24, 16 * blockBytes, 4);
        put(pointer, 28, reserveSequence, 4);
        tag(pointer, 2, static_cast<std::uint32_t>(at), 512);
    }
    writeFile(image, disc);
    return layout;
}

} // namespace brindlecap::testing
