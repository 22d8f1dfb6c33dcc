// SPDX-License-Identifier: GPL-3.0-or-later
// A disc's trees as a damaged or crafted disc may hold them: the input is
// the disc from its volume descriptors on (sector 16), and its first byte
// says which sectors do not read. Listing must end, and never read outside
// what it was given.
#include "iso9660_catalogue.h"

#include <cstring>

namespace {

using namespace brindlecap;

// A disc in memory behind the file access the listing reads through; every
// `badEvery`th sector fails as a drive fails it.
class MemoryDisc final : public FileAccess
{
public:
    MemoryDisc(const std::uint8_t* data, std::size_t size, unsigned badEvery)
        : m_bytes(16 * DiscSectors::sectorSize), m_badEvery(badEvery)
    {
        m_bytes.insert(m_bytes.end(), reinterpret_cast<const std::byte*>(data),
                       reinterpret_cast<const std::byte*>(data) + size);
    }

    std::error_code examineSource(const std::string&, SourceFacts& facts) const override
    {
        facts.length = static_cast<std::int64_t>(m_bytes.size());
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
        const auto size = static_cast<std::int64_t>(m_bytes.size());
        for (auto at = offset; at < offset + static_cast<std::int64_t>(buffer.size()) && at < size;
             at += DiscSectors::sectorSize) {
            const auto length = std::min(DiscSectors::sectorSize, size - at);
            const auto into = static_cast<std::size_t>(at - offset);
            if (m_badEvery != 0 && (at / DiscSectors::sectorSize) % m_badEvery == 0)
                appendRange(result.unreadable, {at - offset, length});
            else
                std::memcpy(buffer.data() + into, m_bytes.data() + at,
                            static_cast<std::size_t>(length));
            result.bytes = at - offset + length;
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
    std::error_code examineCopy(const std::string&, const FileIdentity&,
                                CopyFacts&) const override
    {
        return {};
    }
    std::error_code syncCopy(const std::string&, const FileIdentity&) override { return {}; }
    std::error_code cutTo(std::int64_t) override { return {}; }
    std::error_code setModificationTime(FileTime) override { return {}; }
    std::error_code close() override { return {}; }

private:
    std::vector<std::byte> m_bytes;
    unsigned m_badEvery;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    MemoryDisc disc(data + 1, size - 1, data[0] % 8 == 0 ? data[0] / 8U % 13U : 0);
    DiscSectors sectors(disc, "disc", {});
    for (const auto& listing : readIso9660(sectors).listings)
        for (const auto& file : listing.files)
            if (file.path.empty() || file.path.front() == '/')
                __builtin_trap();
    return 0;
}
