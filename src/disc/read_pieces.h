// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace brindlecap {

// One piece of a read: `length` bytes of the buffer from `into`, read from
// byte `from` of the file beneath; or, where `skip` is set, known to be
// missing there and unreadable without a read; or zeros, without a read.
struct ReadPiece
{
    std::int64_t into = 0;
    std::int64_t from = 0;
    std::int64_t length = 0;
    bool skip = false;
    bool zeros = false;
};

using PieceRead = std::function<ReadResult(std::int64_t offset, std::span<std::byte> buffer)>;

// Reads the pieces, in buffer order, as one read of the buffer: what did not
// read, or was skipped, is unreadable; a stop or a disc gone ends the read
// where it got to. What the file beneath lacks (it ends early) is as
// unreadable as a bad sector: those bytes are not there to be read.
ReadResult readPieces(const std::vector<ReadPiece>& pieces, std::span<std::byte> buffer,
                      const PieceRead& read);

} // namespace brindlecap
