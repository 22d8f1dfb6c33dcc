// SPDX-License-Identifier: GPL-3.0-or-later
#include "source_fingerprint.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <sstream>

namespace brindlecap {

namespace {

constexpr int quarters = 4;
// A hard disk's sector: one read of any medium, and enough bytes for a hash
// to tell two discs apart. Each is hashed a byte at a time, which for ten
// thousand photographs costs more than their maps' saving, so no longer.
constexpr std::int64_t pieceLength = 512;
// Maps of earlier versions hold pieces of up to a disc's sector.
constexpr std::int64_t longestPiece = 2048;

// FNV-1a: enough to tell two discs apart, which is all it is for.
std::uint64_t hashOf(std::span<const std::byte> bytes)
{
    std::uint64_t hash = 0xCBF29CE484222325u;
    for (const auto byte : bytes) {
        hash ^= static_cast<std::uint64_t>(byte);
        hash *= 0x100000001B3u;
    }
    return hash;
}

template <typename Number> bool readNumber(std::string_view& text, Number& value, int base)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end == text.data())
        return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

bool skip(std::string_view& text, char expected)
{
    if (text.empty() || text.front() != expected)
        return false;
    text.remove_prefix(1);
    return true;
}

} // namespace

std::optional<SourceFingerprint> SourceFingerprint::parse(std::string_view note)
{
    SourceFingerprint fingerprint;
    std::istringstream words{std::string(note)};
    for (std::string word; words >> word;) {
        // OFFSET+LENGTH:HASH
        std::string_view text(word);
        Piece piece;
        std::int64_t end = 0;
        if (!readNumber(text, piece.range.offset, 10) || !skip(text, '+') ||
            !readNumber(text, piece.range.length, 10) || !skip(text, ':') ||
            !readNumber(text, piece.hash, 16) || !text.empty() || piece.range.offset < 0 ||
            piece.range.length <= 0 || piece.range.length > longestPiece ||
            __builtin_add_overflow(piece.range.offset, piece.range.length, &end))
            return std::nullopt;
        fingerprint.m_pieces.push_back(piece);
    }
    std::sort(fingerprint.m_pieces.begin(), fingerprint.m_pieces.end(),
              [](const Piece& a, const Piece& b) { return a.range.offset < b.range.offset; });
    return fingerprint;
}

std::string SourceFingerprint::note() const
{
    std::string text;
    for (const auto& piece : m_pieces) {
        char hash[24];
        std::snprintf(hash, sizeof hash, "%016" PRIX64, piece.hash);
        // Piece by piece: GCC 12 at -O2 warns falsely about "..." + string.
        if (!text.empty())
            text += ' ';
        text += std::to_string(piece.range.offset);
        text += '+';
        text += std::to_string(piece.range.length);
        text += ':';
        text += hash;
    }
    return text;
}

namespace {

// The bounds of each quarter of a file.
template <typename Visit> void forEachQuarter(std::int64_t size, Visit visit)
{
    for (int quarter = 0; quarter < quarters; ++quarter) {
        const auto from = size / quarters * quarter;
        const auto to = quarter + 1 == quarters ? size : size / quarters * (quarter + 1);
        if (from < to)
            visit(from, to);
    }
}

} // namespace

bool SourceFingerprint::hasPieceIn(std::int64_t from, std::int64_t to) const
{
    const auto inside = [&](const Piece& piece) {
        return piece.range.offset >= from && piece.range.offset < to;
    };
    return std::any_of(m_pieces.begin(), m_pieces.end(), inside) ||
           std::any_of(m_offered.begin(), m_offered.end(), inside);
}

void SourceFingerprint::insert(const Piece& piece)
{
    m_pieces.insert(std::upper_bound(m_pieces.begin(), m_pieces.end(), piece,
                                     [](const Piece& a, const Piece& b) {
                                         return a.range.offset < b.range.offset;
                                     }),
                    piece);
}

void SourceFingerprint::offerWritten(std::int64_t size, ByteRange range,
                                     std::span<const std::byte> bytes)
{
    if (std::ssize(bytes) != range.length)
        return;
    forEachQuarter(size, [&](std::int64_t from, std::int64_t to) {
        const auto start = std::max(range.offset, from);
        const auto end = std::min(range.end(), to);
        // As long a piece as one read from the copy would be.
        if (end - start < std::min(pieceLength, to - from) || hasPieceIn(from, to))
            return;
        const ByteRange piece{start, std::min(end - start, pieceLength)};
        m_offered.push_back(
            {piece, hashOf(bytes.subspan(static_cast<std::size_t>(start - range.offset),
                                         static_cast<std::size_t>(piece.length)))});
    });
}

void SourceFingerprint::takeWritten(const RescueMap& map)
{
    for (const auto& piece : m_offered) {
        if (map.firstWith(RescueMap::Status::finished, piece.range.offset, piece.range.end(),
                          piece.range.length) == piece.range)
            insert(piece);
    }
    m_offered.clear();
}

void SourceFingerprint::addFrom(const RescueMap& map, const Reader& copy)
{
    forEachQuarter(map.size(), [&](std::int64_t from, std::int64_t to) {
        if (hasPieceIn(from, to))
            return;
        const auto rescued = map.firstWith(RescueMap::Status::finished, from, to, pieceLength);
        if (!rescued)
            return;
        Piece piece{{rescued->offset, std::min(rescued->length, pieceLength)}, 0};
        std::vector<std::byte> bytes(static_cast<std::size_t>(piece.range.length));
        if (copy(piece.range, bytes))
            return;
        piece.hash = hashOf(bytes);
        insert(piece);
    });
}

SourceFingerprint::Match SourceFingerprint::check(const Reader& source) const
{
    for (const auto& piece : m_pieces) {
        std::vector<std::byte> bytes(static_cast<std::size_t>(piece.range.length));
        const auto error = source(piece.range, bytes);
        if (error == std::errc::operation_canceled)
            return Match::stopped;
        if (error)
            continue; // bad now, or gone: the next one may read
        return hashOf(bytes) == piece.hash ? Match::same : Match::different;
    }
    return Match::unknown;
}

} // namespace brindlecap
