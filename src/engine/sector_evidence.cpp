// SPDX-License-Identifier: GPL-3.0-or-later
#include "sector_evidence.h"

#include <algorithm>
#include <bit>

namespace brindlecap {

namespace {

// A boundary is trusted as the sector once the edges seen would all fall on
// it by chance, were the sectors the finest piece, no more than one time in
// 2^4 = 16: two edges for 2048-byte boundaries over 512-byte pieces, four
// for 1024. Where the boundary is the sector, each edge split below it costs
// one or two failing reads more.
constexpr int trustBits = 4;

int log2Of(std::int64_t power)
{
    return std::countr_zero(static_cast<std::uint64_t>(power));
}

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
    if (m_boundary <= finest)
        return finest;
    const auto boundary = std::min(m_boundary, grain);
    return m_edges * (log2Of(boundary) - log2Of(finest)) >= trustBits ? boundary : finest;
}

} // namespace brindlecap
