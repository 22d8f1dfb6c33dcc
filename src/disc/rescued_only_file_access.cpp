// SPDX-License-Identifier: GPL-3.0-or-later
#include "rescued_only_file_access.h"

#include "read_pieces.h"
#include "rescue_map.h"

#include <algorithm>
#include <fstream>
#include <limits>

namespace brindlecap {

namespace {

// A map of a million areas is some tens of megabytes; anything far larger is
// no map.
constexpr std::streamsize largestMap = std::streamsize{1} << 30;

} // namespace

void RescuedOnlyFileAccess::limit(std::string image, std::vector<ByteRange> missing)
{
    m_image = std::move(image);
    m_missing = std::move(missing);
}

std::error_code RescuedOnlyFileAccess::openSource(const std::string& path,
                                                  const FileIdentity& expected)
{
    const auto error = ForwardingFileAccess::openSource(path, expected);
    m_imageOpen = !error && !m_image.empty() && path == m_image;
    return error;
}

std::error_code RescuedOnlyFileAccess::close()
{
    m_imageOpen = false;
    return ForwardingFileAccess::close();
}

std::vector<ReadPiece> RescuedOnlyFileAccess::piecesOf(std::int64_t offset,
                                                       std::int64_t length) const
{
    std::vector<ReadPiece> pieces;
    auto missing =
        std::upper_bound(m_missing.begin(), m_missing.end(), offset,
                         [](std::int64_t at, const ByteRange& range) { return at < range.end(); });
    for (auto at = offset; at < offset + length;) {
        const bool inside = missing != m_missing.end() && missing->offset <= at;
        const auto end = std::min(offset + length, inside                       ? missing->end()
                                                   : missing != m_missing.end() ? missing->offset
                                                                                : offset + length);
        pieces.push_back({at - offset, at, end - at, inside});
        if (inside)
            ++missing;
        at = end;
    }
    return pieces;
}

ReadResult RescuedOnlyFileAccess::served(std::int64_t offset, std::span<std::byte> buffer,
                                         const PieceRead& read) const
{
    if (!m_imageOpen)
        return read(offset, buffer);
    return readPieces(piecesOf(offset, static_cast<std::int64_t>(buffer.size())), buffer, read);
}

ReadResult RescuedOnlyFileAccess::readAt(std::int64_t offset, std::span<std::byte> buffer)
{
    return served(offset, buffer,
                  [this](auto at, auto part) { return ForwardingFileAccess::readAt(at, part); });
}

ReadResult RescuedOnlyFileAccess::skimAt(std::int64_t offset, std::span<std::byte> buffer)
{
    return served(offset, buffer,
                  [this](auto at, auto part) { return ForwardingFileAccess::skimAt(at, part); });
}

ReadResult RescuedOnlyFileAccess::scrapeAt(std::int64_t offset, std::span<std::byte> buffer)
{
    return served(offset, buffer,
                  [this](auto at, auto part) { return ForwardingFileAccess::scrapeAt(at, part); });
}

std::string readImageMap(const std::string& path, std::vector<ByteRange>& missing)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "it cannot be opened";
    std::string text;
    std::vector<char> block(1 << 20);
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
        text.append(block.data(), static_cast<std::size_t>(in.gcount()));
        if (static_cast<std::streamsize>(text.size()) > largestMap)
            return "it is too large to be a map";
    }
    if (in.bad())
        return "it cannot be read";
    std::string why;
    const auto map = RescueMap::parse(text, why);
    if (!map)
        return why;
    missing = map->rangesWithout(RescueMap::Status::finished);
    // Past what the map covers, ddrescue read nothing.
    appendRange(missing, {map->size(), std::numeric_limits<std::int64_t>::max() - map->size()});
    return {};
}

} // namespace brindlecap
