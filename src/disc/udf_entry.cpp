// SPDX-License-Identifier: GPL-3.0-or-later
#include "udf_entry.h"

#include "disc_words.h"

#include <cdio/bytesex.h>
#include <cdio/ecma_167.h>
#include <cdio/udf.h> // before udf_time.h, which uses its types
#include <cdio/udf_time.h>
#include <cstring>

namespace brindlecap {

namespace {

FileTime modificationOf(const udf_timestamp_t& stamp)
{
    time_t seconds = 0;
    long microseconds = 0;
    udf_stamp_to_time(&seconds, &microseconds, stamp);
    return {seconds, microseconds * 1000};
}

UdfExtent extentOf(std::uint32_t lengthAndKind, UdfAddress start)
{
    UdfExtent extent;
    extent.start = start;
    extent.length = static_cast<std::int64_t>(lengthAndKind & 0x3FFFFFFFU);
    // 1 and 2: allocated (or not even that) but never recorded.
    extent.zeros = lengthAndKind >> 30U == 1 || lengthAndKind >> 30U == 2;
    return extent;
}

// A descriptor of no length ends the list. One of the fourth kind says the
// rest continues in another extent of descriptors: not followed, so what it
// holds is unreadable.
bool ends(std::uint32_t lengthAndKind)
{
    return (lengthAndKind & 0x3FFFFFFFU) == 0 || lengthAndKind >> 30U == 3;
}

} // namespace

bool udfTagged(std::span<const std::byte> bytes, std::uint16_t kind, std::uint32_t where)
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

std::optional<UdfEntry> parseUdfEntry(std::span<const std::byte> bytes, UdfAddress at)
{
    const bool extended = udfTagged(bytes, TAGID_EFE, at.block);
    if (!extended && !udfTagged(bytes, TAGID_FILE_ENTRY, at.block))
        return std::nullopt;
    udf_file_entry_t plain{};
    std::memcpy(&plain, bytes.data(), sizeof plain);
    UdfEntry entry;
    entry.fileType = plain.icb_tag.file_type;
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
    if (attributes > bytes.size() || first + descriptors > bytes.size() || entry.size < 0)
        return std::nullopt;
    const auto area = bytes.subspan(first, descriptors);
    switch (uint16_from_le(plain.icb_tag.flags) & 7U) {
    case 0: // short allocation descriptors
        for (std::size_t ad = 0; ad + 8 <= area.size(); ad += 8) {
            const auto lengthAndKind = wordAt(area, ad, 4);
            if (ends(lengthAndKind))
                break;
            entry.extents.push_back(
                extentOf(lengthAndKind, {at.partition, wordAt(area, ad + 4, 4)}));
        }
        break;
    case 1: // long ones
        for (std::size_t ad = 0; ad + 16 <= area.size(); ad += 16) {
            const auto lengthAndKind = wordAt(area, ad, 4);
            if (ends(lengthAndKind))
                break;
            const UdfAddress start{static_cast<std::uint16_t>(wordAt(area, ad + 8, 2)),
                                   wordAt(area, ad + 4, 4)};
            entry.extents.push_back(extentOf(lengthAndKind, start));
        }
        break;
    case 3: // the bytes themselves, inside the entry
        entry.isEmbedded = true;
        entry.embeddedAt = first;
        entry.embedded = descriptors;
        break;
    default:
        return std::nullopt;
    }
    return entry;
}

} // namespace brindlecap
