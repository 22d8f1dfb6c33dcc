// SPDX-License-Identifier: GPL-3.0-or-later
// A disc's trees as a damaged or crafted disc may hold them, ISO 9660 and
// UDF: listing must end, and never read outside what it was given.
#include "iso9660_catalogue.h"
#include "udf_catalogue.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

using namespace brindlecap;

// A disc in memory behind the file access the listing reads through: the
// sectors the input gives, zeros elsewhere; every `badEvery`th sector fails
// as a drive fails it.
class MemoryDisc final : public FileAccess
{
public:
    MemoryDisc(std::map<std::int64_t, std::vector<std::byte>> sectors, unsigned badEvery)
        : m_sectors(std::move(sectors)), m_badEvery(badEvery)
    {}

    std::int64_t size() const
    {
        return m_sectors.empty() ? 0 : (m_sectors.rbegin()->first + 1) * DiscSectors::sectorSize;
    }

    std::error_code examineSource(const std::string&, SourceFacts& facts) const override
    {
        facts.length = size();
        return {};
    }
    std::error_code identify(const std::string&, FileIdentity&) const override { return {}; }
    std::error_code openSource(const std::string&, const FileIdentity&) override { return {}; }
    std::error_code openDestination(const std::string&, std::optional<FileIdentity>&, unsigned,
                                    std::span<const FileIdentity>) override
    {
        return std::make_error_code(std::errc::read_only_file_system);
    }
    ReadResult readAt(std::int64_t offset, std::span<std::byte> buffer) override
    {
        ReadResult result;
        const auto end = std::min(offset + static_cast<std::int64_t>(buffer.size()), size());
        for (auto at = offset; at < end;) {
            const auto number = at / DiscSectors::sectorSize;
            const auto within = at % DiscSectors::sectorSize;
            const auto length = std::min(DiscSectors::sectorSize - within, end - at);
            const auto into = buffer.subspan(static_cast<std::size_t>(at - offset),
                                             static_cast<std::size_t>(length));
            const auto found = m_sectors.find(number);
            if (m_badEvery != 0 && number % m_badEvery == 0)
                appendRange(result.unreadable, {at - offset, length});
            else if (found == m_sectors.end())
                std::fill(into.begin(), into.end(), std::byte{0});
            else
                std::memcpy(into.data(), found->second.data() + within,
                            static_cast<std::size_t>(length));
            at += length;
            result.bytes = at - offset;
        }
        return result;
    }
    ReadResult skimAt(std::int64_t offset, std::span<std::byte> buffer) override
    {
        return readAt(offset, buffer);
    }
    ReadResult scrapeAt(std::int64_t offset, std::span<std::byte> buffer) override
    {
        return readAt(offset, buffer);
    }
    WriteResult writeAt(std::int64_t, std::span<const std::byte>,
                        std::span<const ByteRange>) override
    {
        return {0, {}, {}, std::make_error_code(std::errc::read_only_file_system)};
    }
    std::error_code examineCopy(const std::string&, const FileIdentity&, CopyFacts&) const override
    {
        return {};
    }
    std::error_code syncCopy(const std::string&, const FileIdentity&) override { return {}; }
    std::error_code cutTo(std::int64_t) override { return {}; }
    std::error_code setModificationTime(FileTime) override { return {}; }
    std::error_code close() override { return {}; }

private:
    std::map<std::int64_t, std::vector<std::byte>> m_sectors;
    unsigned m_badEvery;
};

void checkListing(const TreeListing& listing)
{
    for (const auto& file : listing.files)
        if (file.path.empty() || file.path.front() == '/' || file.size < 0)
            __builtin_trap();
}

} // namespace

// The input: a byte that says which sectors fail, then sectors of the disc,
// each its number (two bytes, little-endian) and its 2,048 bytes; the seeds
// are the sectors of real images that are not all zeros.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::map<std::int64_t, std::vector<std::byte>> sectors;
    constexpr std::size_t record = 2 + DiscSectors::sectorSize;
    for (std::size_t at = 1; at + record <= size; at += record) {
        const auto* bytes = reinterpret_cast<const std::byte*>(data + at + 2);
        sectors[data[at] | data[at + 1] << 8U].assign(bytes, bytes + DiscSectors::sectorSize);
    }
    MemoryDisc disc(std::move(sectors), data[0] % 8 == 0 ? data[0] / 8U % 13U : 0);
    DiscSectors read(disc, "disc", {});
    for (const auto& listing : readIso9660(read).listings)
        checkListing(listing);
    if (const auto udf = readUdf(read, disc.size()); udf.listing)
        checkListing(*udf.listing);
    return 0;
}
