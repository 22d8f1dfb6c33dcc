// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"
#include "medium_gone.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <system_error>
#include <vector>

namespace brindlecap {

// A medium read one request at a time, at offsets from the file's start.
// Each request gives the bytes from its start up to an error, up to the end
// of the file (no error, fewer bytes than asked), or all of them.
class SectorSource
{
public:
    virtual ~SectorSource() = default;
    virtual TransferResult readOnce(std::int64_t offset, std::span<std::byte> into) = 0;
};

// Reads for salvage, of single sectors and of what follows them. The grain is
// the smallest piece the medium fails in (its sector, or a page where the page
// cache stands between), asked for only once salvage needs it.
class SectorProbe : public SectorSource
{
public:
    virtual std::int64_t grain() = 0;
    // The piece a bad stretch's edges are sought to inside the grains that
    // failed: the grain where the medium's sector is known; below it, down
    // to a disk's 512 bytes, where it is not.
    virtual std::int64_t finest() { return grain(); }
    // An edge of a bad stretch found to the finest piece: what it tells of
    // the medium's sector may change the grain and the finest piece of the
    // reads after it.
    virtual void edgeAt(std::int64_t /*offset*/) {}
    // Whether an edge found so far has shown the sector finer than the
    // grain the medium was first read in.
    virtual bool grainCameDown() { return false; }
};

// What a read asks of the medium inside a bad stretch. Either way, the
// grains right after a stretch are read one by one (see SalvageTrail).
enum class StretchSearch
{
    // The grains right after a bad one are read one by one, then galloping
    // and halving find the stretch's end: short bad runs with good grains
    // between them are read whole, in the one pass there is. Where a
    // stretch's edges show the sector finer than the grain, the buffer's
    // stretches read in the coarser grain are read again in the finer one.
    exact,
    // Only the stretch's two edges are looked for: a skip ahead (32 grains,
    // then doubling while they fail), then a trim back from the first good
    // grain to the last bad one. The grains between
    // are presumed bad without a read, left to a later pass that scrapes
    // them: the fewest failing reads a first pass can make.
    edges,
};

// What salvaging one buffer of a file tells about the next ones.
struct SalvageTrail
{
    // A bad stretch that reached the end of the last buffer: a buffer that
    // starts where it ended most likely starts inside it.
    std::int64_t end = -1;   // offset where that buffer ended
    std::int64_t grains = 0; // how long the stretch was by then
    void forgetOpenStretch() { *this = {-1, 0, lastStretchEnd, closeGap, grainsSplit}; }
    // Where the file's last bad stretch ended (-1: none yet), and the widest
    // gap seen between two stretches close to each other: a scratch spoils
    // sectors about one turn of the disc apart, so past a stretch the grains
    // are read one by one for twice that gap, and the next stretch costs no
    // failing bulk read of its own.
    std::int64_t lastStretchEnd = -1;
    std::int64_t closeGap = 0;
    // Grains of the file split so far to look for the sector (each a
    // stretch's second).
    int grainsSplit = 0;
};

// Fills the buffer from `offset` with every grain the medium will give.
// A healthy buffer costs one bulk read. Where reading stops short, the rest
// is read through the probe, grain by grain up to what stopped it. A
// bad grain starts a bad stretch whose end is found as `search` says: a
// stretch of k bad grains costs about 16 + 2 log2(k) failing reads when
// exact, about 2 + log2(k / 32) for its edges alone, never k.
// The grains inside a long stretch that are never read are taken to be bad
// like its ends. Where the probe reads finer than its grain, the grains at a
// stretch's edges are read in the finest pieces from their good side until
// one fails: what reads beside a bad sector is kept, for one failing read
// per edge at most, and what lies between the two pieces found bad is
// presumed bad. While no edge has shown the sector finer than the grain,
// the second grain of a file's first stretches is split so too, from the
// front: where every edge so far fell on a grain's boundary, a readable
// sector between two bad runs in one grain still shows the sector, and the
// stretch is read again in it.
// A medium that is gone (no medium, no device) stops it at once. `trail`
// carries what one buffer found to the next of one file.
// `stopRequested`, if given, is asked before each read after the first: when
// it says yes, the read ends there with operation_canceled.
ReadResult salvageRead(SectorSource& bulk, SectorProbe& probe, std::int64_t offset,
                       std::span<std::byte> buffer, SalvageTrail& trail,
                       const std::function<bool()>& stopRequested = {},
                       StretchSearch search = StretchSearch::exact);

} // namespace brindlecap
