// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rescue_map.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace brindlecap {

// What tells one disc from another whose file has the same name, size and
// time (the same camera's folder, a sequel DVD): a few rescued pieces of
// the source spread over it, each by its place and a 64-bit hash of its
// bytes. The same disc in another drive or under another mount point has
// the same fingerprint.
class SourceFingerprint final
{
public:
    struct Piece
    {
        ByteRange range;
        std::uint64_t hash = 0;
        friend bool operator==(const Piece&, const Piece&) = default;
    };
    // Reads the bytes of a range of a file into the span (as long as the
    // range), or fails.
    using Reader = std::function<std::error_code(ByteRange, std::span<std::byte>)>;

    enum class Match
    {
        same,
        different,
        unknown, // no piece read again: the disc may only have got worse
        stopped, // a stop came first
    };

    // From a map's note; nullopt when the note is not one.
    static std::optional<SourceFingerprint> parse(std::string_view note);
    std::string note() const;
    const std::vector<Piece>& pieces() const { return m_pieces; }

    // Hashes a piece of bytes just written to the copy (at `range` of a
    // file of `size` bytes) for each quarter that has none yet: a piece
    // only once the map holds its bytes rescued (takeWritten).
    void offerWritten(std::int64_t size, ByteRange range, std::span<const std::byte> bytes);
    // Adds the pieces offered whose bytes the map now holds rescued, and
    // forgets the others (their bytes never reached the disk).
    void takeWritten(const RescueMap& map);
    // Adds a piece for each quarter of the file that has none yet and now
    // has a rescued stretch, read from the copy (whose rescued bytes are the
    // source's).
    void addFrom(const RescueMap& map, const Reader& copy);
    // Reads the pieces from the source in turn, up to the first that reads
    // (a reader that fails with operation_canceled ends it: stopped).
    Match check(const Reader& source) const;

private:
    void insert(const Piece& piece);
    bool hasPieceIn(std::int64_t from, std::int64_t to) const;

    std::vector<Piece> m_pieces;  // in order
    std::vector<Piece> m_offered; // hashed as written, not yet known rescued
};

} // namespace brindlecap
