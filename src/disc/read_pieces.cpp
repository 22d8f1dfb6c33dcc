// SPDX-License-Identifier: GPL-3.0-or-later
#include "read_pieces.h"

#include <algorithm>

namespace brindlecap {

ReadResult readPieces(const std::vector<ReadPiece>& pieces, std::span<std::byte> buffer,
                      const PieceRead& read)
{
    ReadResult result;
    for (const auto& piece : pieces) {
        if (piece.skip || piece.zeros) {
            if (piece.skip)
                appendRange(result.unreadable, {piece.into, piece.length});
            else
                std::fill_n(buffer.begin() + piece.into, piece.length, std::byte{0});
            result.bytes = piece.into + piece.length;
            continue;
        }
        auto part = read(piece.from, buffer.subspan(static_cast<std::size_t>(piece.into),
                                                    static_cast<std::size_t>(piece.length)));
        for (auto& [from, to] : {std::pair(&part.unreadable, &result.unreadable),
                                 std::pair(&part.presumed, &result.presumed)})
            for (const auto& range : *from)
                appendRange(*to, {range.offset + piece.into, range.length});
        if (!result.error)
            result.error = part.error;
        if (part.bytes < piece.length && part.error) {
            result.bytes = piece.into + part.bytes; // stopped, or the disc went away
            return result;
        }
        appendRange(result.unreadable, {piece.into + part.bytes, piece.length - part.bytes});
        result.bytes = piece.into + piece.length;
    }
    return result;
}

} // namespace brindlecap
