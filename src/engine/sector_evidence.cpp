// SPDX-License-Identifier: GPL-3.0-or-later
#include "sector_evidence.h"

#include <algorithm>

namespace brindlecap {

namespace {

// A boundary is trusted as the sector once this many edges, and every edge
// seen, fell on it. Sectors of half its size would put them all there by
// chance one time in 256, were every edge seen; but where stretches lie less
// than a grain apart the grains merge them, and the edges between them (more
// often off the boundary) go unseen. Where the boundary is the sector, each
// edge split below it costs two or three failing reads more.
constexpr int edgesToTrust = 8;

} // namespace

void SectorEvidence::edgeAt(std::int64_t offset, std::int64_t grain)
{
    if (offset <= 0 || grain <= 0) // the file's start is no sector's edge
        return;
    const auto boundary = std::min(offset & -offset, grain);
    m_boundary = m_boundary == 0 ? boundary : std::min(m_boundary, boundary);
    ++m_edges;
}

std::int64_t SectorEvidence::grain(std::int64_t grain, std::int64_t finest) const
{
    if (m_boundary == 0 || m_boundary >= grain)
        return grain;
    return std::max(m_boundary, finest);
}

std::int64_t SectorEvidence::finest(std::int64_t grain, std::int64_t finest) const
{
    if (m_boundary <= finest || m_edges < edgesToTrust)
        return finest;
    return std::min(m_boundary, grain);
}

} // namespace brindlecap
