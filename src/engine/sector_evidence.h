// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace brindlecap {

// What the edges of bad stretches tell of a medium's sector where nothing
// else says it (a disk behind a file system with larger blocks, a disc image
// served through FUSE or a network). A read that fails says only that some
// sector of it is bad; salvage splits the grains at a stretch's edges to
// find the sector, and where the edges fall shows how fine the sectors are.
// An edge off a grain's boundary proves them finer, and the grain comes down
// to the finest boundary seen, so that what lies between two bad sectors is
// read too. Edges that keep falling on one boundary make it the likely
// sector: splitting stops there, since each split below it would only fail.
// Kept per device for as long as a job runs.
class SectorEvidence final
{
public:
    // An edge of a bad stretch at `offset`, found to the finest piece, in a
    // file read in grains of `grain` bytes.
    void edgeAt(std::int64_t offset, std::int64_t grain);
    // The grain to read in: `grain`, or the finer boundary an edge fell on,
    // never below `finest`.
    std::int64_t grain(std::int64_t grain, std::int64_t finest) const;
    // The piece a stretch's edges are sought to: `finest`, or the boundary
    // every edge fell on (at most `grain`) once they are too many for chance.
    std::int64_t finest(std::int64_t grain, std::int64_t finest) const;

private:
    // The largest power of two every edge seen is a multiple of; 0: none seen.
    std::int64_t m_boundary = 0;
    int m_edges = 0;
};

} // namespace brindlecap
