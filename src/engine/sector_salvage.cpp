// SPDX-License-Identifier: GPL-3.0-or-later
#include "sector_salvage.h"

#include <algorithm>
#include <map>
#include <utility>

namespace brindlecap {

namespace {

// Grains read one by one after the first bad one before galloping: short bad
// stretches with good grains between them (a scratch) are then read exactly,
// and a long dead stretch still costs only a few failing reads more. Looking
// for the edges only, the gap left to trim back.
constexpr std::int64_t linearProbes = 16;
// Looking for the edges only, the first skip past a bad grain: ddrescue's
// cluster in a disc's sectors, so that short bad runs close together make
// one stretch, its inside left to scraping, not one stretch each.
constexpr std::int64_t firstSkip = 32;
// The widest gap between two bad stretches that counts as close: a
// scratch's spacing (a turn of a disc is some 10 to 25 sectors), not the
// distance between two damaged places. Past a stretch, grains are read one
// by one for at most twice this.
constexpr std::int64_t closeGapLimit = 128 * 1024;
// The grains of a file split to look for the sector (a stretch's second),
// at most: where short bad runs merged in coarse grains one soon shows it,
// and where none can (clusters, a dead stretch) it costs no more failing
// reads than this.
constexpr int grainsSplitAtMost = 2;

class Salvage final
{
public:
    Salvage(SectorSource& bulk, SectorProbe& probe, std::int64_t offset,
            std::span<std::byte> buffer, SalvageTrail& trail, const std::function<bool()>& stop,
            StretchSearch search)
        : m_bulk(bulk), m_probe(probe), m_begin(offset),
          m_end(offset + static_cast<std::int64_t>(buffer.size())), m_buffer(buffer),
          m_trail(trail), m_stopRequested(stop), m_edgesOnly(search == StretchSearch::edges)
    {}

    ReadResult read()
    {
        // A buffer that starts inside the last one's bad stretch begins with
        // a probe, not with a bulk read that would fail on it first.
        const std::int64_t carried = m_trail.end == m_begin ? m_trail.grains : 0;
        m_troubled = carried > 0;
        m_trail.forgetOpenStretch();
        std::int64_t position = m_begin;
        enum class Next
        {
            bulk, // read all the rest in one request
            // The medium stopped short: the next grains alone, as many as a
            // stretch's end is sought through one by one, since what failed
            // lies right after (a page the page cache could not fill) or
            // further on (a later piece of a request the kernel split), and
            // then grain by grain until a bad one, as after a failed read.
            oneGrain,
            trim, // a bulk read failed somewhere: grain by grain until a bad one
            // Just past a bad stretch, where the next one most likely lies
            // close: grain by grain, so that a bulk read does not fail on it
            // first.
            pastStretch,
        } next = carried > 0                ? Next::oneGrain
                 : nearLastStretch(m_begin) ? Next::pastStretch
                                            : Next::bulk;
        std::int64_t goneBackTo = -1;
        std::int64_t stoppedShortAt = -1;

        while (position < m_end || m_readAgainFrom >= 0) {
            if (m_readAgainFrom >= 0) {
                // The grain came down: the stretches read in the coarser one
                // are read again, so that no readable sector between bad ones
                // is lost with the grains they shared.
                position = goneBackTo = std::exchange(m_readAgainFrom, -1);
                m_coarseFrom = -1;
                forgetFrom(position);
                next = Next::trim;
            }
            if (cancelled(position))
                return m_result;
            if (next == Next::bulk) {
                // Once a read has failed, the rest goes by the probe's way too:
                // past the page cache, where read-ahead would fail again and again.
                auto& source = m_troubled ? static_cast<SectorSource&>(m_probe) : m_bulk;
                const auto got = source.readOnce(position, rest(position, m_end));
                ++m_reads;
                m_troubled = m_troubled || got.error || position + got.bytes < m_end;
                position += got.bytes;
                if (got.error) {
                    if (stop(got.error, position))
                        return m_result;
                    next = Next::trim;
                } else if (position < m_end) {
                    if (got.bytes == 0)
                        return endOfFile(position);
                    next = Next::oneGrain;
                    stoppedShortAt = position;
                }
                continue;
            }
            const auto probe = probeGrain(position);
            if (probe.error && stop(probe.error, probe.upTo))
                return m_result;
            if (!probe.error && probe.upTo < grainEnd(position))
                return endOfFile(probe.upTo);
            if (!probe.error) {
                position = probe.upTo;
                const bool pastShortStop =
                    stoppedShortAt < 0 || position - stoppedShortAt >= linearProbes * grain();
                // Past the grains right after a short stop, a bulk read of the
                // rest would only fail on what stopped it.
                if (next == Next::oneGrain && pastShortStop)
                    next = stoppedShortAt < 0 ? Next::bulk : Next::trim;
                else if (next == Next::pastStretch && !nearLastStretch(position))
                    next = Next::bulk;
                continue;
            }
            // A stretch read again goes on from its first piece, as one does
            // from the last buffer: where it starts now is no edge.
            const auto before = position == m_begin ? carried : position == goneBackTo ? 1 : 0;
            const bool firstTryOnly =
                next == Next::oneGrain && (stoppedShortAt < 0 || position == stoppedShortAt);
            position = skipBadStretch(probe.upTo, before, firstTryOnly);
            if (m_stopped)
                return m_result;
            next = Next::pastStretch;
        }
        m_result.bytes = m_end - m_begin;
        return m_result;
    }

private:
    struct Probe
    {
        std::int64_t upTo = 0; // the grain was read up to here
        std::error_code error; // set: the byte at upTo could not be read
    };

    std::span<std::byte> rest(std::int64_t from, std::int64_t to)
    {
        return m_buffer.subspan(static_cast<std::size_t>(from - m_begin),
                                static_cast<std::size_t>(to - from));
    }
    // Whether a stretch's second grain is still worth splitting for the
    // sector: it is read in the grain the medium was first read in, with no
    // edge yet to show the sector finer, and few were split in this file.
    bool mayShowSector()
    {
        return !m_stopped && finest() < grain() && !m_probe.grainCameDown() &&
               m_trail.grainsSplit < grainsSplitAtMost;
    }

    // Whether grain `index`, bad as a whole, holds a readable piece at its
    // front, read piece by piece: where every edge so far fell on a grain's
    // boundary, a readable sector between two bad runs in one grain shows
    // the sector finer, and the grain comes down. One failing read at most.
    bool grainShowsSector(std::int64_t index)
    {
        ++m_trail.grainsSplit;
        const auto at = startOf(index);
        const auto edge = firstBadIn(at, grainEnd(at));
        if (m_stopped || edge == at)
            return false;
        m_probe.edgeAt(edge);
        if (m_probe.grain() >= grain())
            return false;
        m_grain = m_finest = 0;
        return true;
    }

    std::int64_t grain() { return m_grain > 0 ? m_grain : (m_grain = m_probe.grain()); }
    std::int64_t grainOf(std::int64_t at) { return at / grain(); }
    std::int64_t startOf(std::int64_t index) { return std::max(m_begin, index * grain()); }
    std::int64_t grainEnd(std::int64_t at) { return std::min(m_end, (grainOf(at) + 1) * grain()); }

    // Whether `at` lies close enough past the file's last bad stretch that
    // its grains are read one by one: as many as a stretch's end is sought
    // through one by one, or twice the widest close gap seen.
    bool nearLastStretch(std::int64_t at)
    {
        if (m_trail.lastStretchEnd < 0 || at < m_trail.lastStretchEnd)
            return false;
        return at - m_trail.lastStretchEnd < std::max(linearProbes * grain(), 2 * m_trail.closeGap);
    }

    // Whether a stop was asked for; the read then ends at `at`, and nothing
    // after it counts as tried. A buffer's first read is always made.
    bool cancelled(std::int64_t at)
    {
        if (!m_stopRequested || m_reads == 0 || !m_stopRequested())
            return false;
        m_stopped = true;
        m_result.error = std::make_error_code(std::errc::operation_canceled);
        m_result.bytes = at - m_begin;
        return true;
    }

    // Reads from `from` to the end of its grain, going on after short reads
    // (a medium may give the bytes before a bad one).
    Probe probeGrain(std::int64_t from) { return probeRange(from, grainEnd(from)); }

    Probe probeRange(std::int64_t from, std::int64_t end)
    {
        Probe probe{from, {}};
        while (probe.upTo < end) {
            const auto got = m_probe.readOnce(probe.upTo, rest(probe.upTo, end));
            ++m_reads;
            probe.upTo += got.bytes;
            probe.error = got.error;
            if (got.error || got.bytes == 0)
                break;
            m_givesBytesBefore = m_givesBytesBefore || probe.upTo < end;
        }
        return probe;
    }

    // The bad stretch that starts at `badFrom`: finds the first good grain
    // after it, records what was not read and gives where reading goes on.
    // `carried` is how long the stretch already was in the last buffer;
    // `firstTryOnly`: its first grain failed the one read that ever started
    // at it, right where the medium had stopped short.
    std::int64_t skipBadStretch(std::int64_t badFrom, std::int64_t carried, bool firstTryOnly)
    {
        const auto gap = badFrom - m_trail.lastStretchEnd;
        if (carried == 0 && m_trail.lastStretchEnd >= 0 && gap > 0 && gap <= closeGapLimit)
            m_trail.closeGap = std::max(m_trail.closeGap, gap);
        const auto first = grainOf(badFrom);
        const auto last = grainOf(m_end - 1);
        // Bad grains read, and where each stopped: the bytes before were good.
        std::map<std::int64_t, std::int64_t> badGrains{{first, badFrom}};
        std::int64_t lastBad = first;
        std::int64_t firstGood = -1;
        const auto length = [&] { return carried + lastBad - first + 1; };
        // Whether grain `index` read to its end; false records it as bad.
        // A stop asked for meanwhile ends the stretch where it was found.
        const auto good = [&](std::int64_t index) {
            if (cancelled(badFrom))
                return false;
            const auto probe = probeGrain(startOf(index));
            if (probe.error && stop(probe.error, badFrom))
                return false;
            if (probe.error)
                badGrains[index] = probe.upTo;
            return !probe.error;
        };

        while (!m_edgesOnly && firstGood < 0 && lastBad < last && length() < linearProbes &&
               !m_stopped) {
            if (good(lastBad + 1)) {
                firstGood = lastBad + 1;
            } else if (++lastBad == first + 1 && carried == 0 && mayShowSector() &&
                       grainShowsSector(lastBad)) {
                // The second grain of a stretch showed the sector finer: the
                // stretch is read again from its start in the finer grain,
                // before more grains fail in the coarser one.
                m_readAgainFrom = startOf(first);
                return m_end;
            }
        }
        // Gallop: each probe doubles the stretch, until a grain reads.
        while (firstGood < 0 && lastBad < last && !m_stopped) {
            const auto skip = m_edgesOnly ? std::max(length(), firstSkip) : length();
            const auto next = std::min(last, lastBad + skip);
            if (good(next))
                firstGood = next;
            else
                lastBad = next;
        }
        // Halve the gap between the last bad grain and the first good one;
        // for the edges alone, then trim back from the good one: one failing
        // read, however many good grains lie before it.
        while (firstGood - lastBad > (m_edgesOnly ? linearProbes : 1) && !m_stopped) {
            const auto middle = lastBad + (firstGood - lastBad) / 2;
            if (good(middle))
                firstGood = middle;
            else
                lastBad = middle;
        }
        while (firstGood - lastBad > 1 && !m_stopped) {
            if (good(firstGood - 1))
                --firstGood;
            else
                lastBad = firstGood - 1;
        }
        // A lone bad grain between good ones, first met inside a longer
        // read that stopped short, is most often a marginal sector, which
        // reads on a try of its own. One met by a read of its own (past a
        // stretch) had that try; a longer stretch is rather a damaged area,
        // not worth one more failing read.
        if (firstTryOnly && firstGood == first + 1 && !m_stopped && good(first))
            return startOf(firstGood);
        const auto goodFrom = firstGood >= 0 ? startOf(firstGood) : m_end;
        // The stretch's edges inside the grains they fall in: its start,
        // where a grain gave nothing and the medium is not one that gives
        // the bytes before a bad one (then the start is exact already), and
        // its end in the last bad grain. A stretch that began in this buffer
        // and reached its end may end inside its last grain: its last piece
        // is read alone, one failing read where it goes on into the next.
        if (carried == 0 && badFrom == startOf(first) && !m_givesBytesBefore && !m_stopped)
            badFrom = firstBadIn(badFrom, grainEnd(badFrom));
        const auto lastBadFrom = std::max(badFrom, badGrains[lastBad]);
        auto goodAfter = goodFrom;
        if (firstGood < 0 && carried == 0 && !m_stopped && m_end - lastBadFrom > finest()) {
            const auto lastPiece = m_end - finest();
            if (!probeRange(lastPiece, m_end).error)
                goodAfter = lastPiece;
        }
        const bool endFound = goodAfter < m_end || firstGood >= 0;
        auto badEnd = goodAfter;
        if (endFound && !m_stopped)
            badEnd = badEndIn(badFrom, lastBadFrom, goodAfter);
        if (m_stopped)
            return m_end;

        if (endFound) {
            m_trail.lastStretchEnd = badEnd;
        } else {
            m_trail.end = m_end;
            m_trail.grains = length();
        }
        // Where the edges fell tells the sector, which may bring the grain
        // down for the stretches after this one, and, in one pass, for this
        // buffer's stretches read in the coarser grain.
        const auto readGrain = grain();
        if (!m_edgesOnly && m_coarseFrom < 0 && finest() < readGrain &&
            badEnd - badFrom > 2 * finest())
            m_coarseFrom = carried > 0 ? m_begin : badFrom + finest();
        if (carried == 0)
            m_probe.edgeAt(badFrom);
        if (endFound)
            m_probe.edgeAt(badEnd);
        record(badGrains, first, badFrom, badEnd, goodFrom, carried > 0);
        if (m_coarseFrom >= 0 && m_probe.grain() < readGrain)
            m_readAgainFrom = m_coarseFrom;
        m_grain = m_finest = 0;
        return goodFrom;
    }

    // Records a bad stretch from `badFrom` to `badEnd` (reading goes on at
    // `goodFrom`), its grains read and where each stopped in `badGrains`.
    // `carried`: it began in the last buffer.
    void record(const std::map<std::int64_t, std::int64_t>& badGrains, std::int64_t first,
                std::int64_t badFrom, std::int64_t badEnd, std::int64_t goodFrom, bool carried)
    {
        // What no read gave, and what of it no read tried: the grains
        // between two probes, left to a later pass that scrapes them.
        std::vector<ByteRange> unread;
        std::vector<ByteRange> untried;
        auto unreadFrom = badFrom;
        auto triedUpTo = startOf(first + 1);
        for (const auto& [index, readUpTo] : badGrains) {
            appendRange(untried, between(triedUpTo, startOf(index)));
            triedUpTo = std::min(m_end, startOf(index + 1));
            if (index == first || readUpTo == startOf(index))
                continue;
            appendRange(unread, between(unreadFrom, startOf(index))); // the grains before it
            unreadFrom = readUpTo;                                    // the bytes it did give
        }
        appendRange(untried, between(triedUpTo, goodFrom));
        appendRange(unread, between(unreadFrom, badEnd));
        // Where failed grains were split, only the pieces found bad at the
        // stretch's edges were tried alone: the rest was taken to be bad
        // with the grains it lies in.
        if (finest() < grain()) {
            const auto firstPieceEnd = carried ? badFrom : std::min(badFrom + finest(), badEnd);
            std::vector<ByteRange> edgePieces;
            appendRange(edgePieces, between(badFrom, firstPieceEnd));
            appendRange(edgePieces, between(std::max(firstPieceEnd, badEnd - finest()), badEnd));
            untried = rangesOutside(unread, edgePieces);
        }
        for (const auto& range : unread)
            addUnreadable(range.offset, range.end());
        for (const auto& range : untried)
            addPresumed(range.offset, range.end());
    }

    // Where the bad bytes of [from, to) begin, the grain from `from` on
    // having failed whole: its pieces are read one by one from the start
    // until one fails, the one failing read an edge needs (halving would
    // fail about once a halving). Where all but the last piece read, that
    // one is bad without a read of its own. What reads is in the buffer.
    std::int64_t firstBadIn(std::int64_t from, std::int64_t to)
    {
        while (to - from > finest() && !cancelled(from)) {
            const auto probe = probeRange(from, from + finest());
            if (probe.error && stop(probe.error, from))
                break;
            if (probe.error)
                return probe.upTo; // where it failed, past any bytes the medium gave
            from += finest();
        }
        return from;
    }

    // Where the bad bytes of a stretch that starts at `stretch` end, the
    // byte at `from` being bad and the one at `to` good: the pieces are read
    // one by one back from `to` until one fails, where the piece holding
    // `from` needs no read. A stop ends the stretch where it starts.
    std::int64_t badEndIn(std::int64_t stretch, std::int64_t from, std::int64_t to)
    {
        from = from / finest() * finest();
        while (to - from > finest() && !cancelled(stretch)) {
            const auto probe = probeRange(to - finest(), to);
            if (probe.error) {
                stop(probe.error, stretch);
                break;
            }
            to -= finest();
        }
        return to;
    }

    std::int64_t finest() { return m_finest > 0 ? m_finest : (m_finest = m_probe.finest()); }

    static ByteRange between(std::int64_t from, std::int64_t to) { return {from, to - from}; }

    void addUnreadable(std::int64_t from, std::int64_t to)
    {
        appendRange(m_result.unreadable, {from - m_begin, to - from});
    }

    void addPresumed(std::int64_t from, std::int64_t to)
    {
        if (from < to)
            appendRange(m_result.presumed, {from - m_begin, to - from});
    }

    // Drops what was recorded from `at` on, to be read again.
    void forgetFrom(std::int64_t at)
    {
        m_trail.forgetOpenStretch();
        if (m_trail.lastStretchEnd > at)
            m_trail.lastStretchEnd = -1;
        const auto cut = at - m_begin;
        for (auto* ranges : {&m_result.unreadable, &m_result.presumed}) {
            std::erase_if(*ranges, [&](const ByteRange& range) { return range.offset >= cut; });
            if (!ranges->empty() && ranges->back().end() > cut)
                ranges->back().length = cut - ranges->back().offset;
        }
    }

    void note(const std::error_code& error)
    {
        if (!m_result.error)
            m_result.error = error;
    }

    // Notes a read error; a gone medium ends the read where it stood.
    bool stop(const std::error_code& error, std::int64_t at)
    {
        note(error);
        if (!mediumGone(error))
            return false;
        m_stopped = true;
        m_result.error = error;
        m_result.bytes = at - m_begin;
        for (auto* ranges : {&m_result.unreadable, &m_result.presumed})
            std::erase_if(*ranges,
                          [&](const ByteRange& range) { return range.offset >= m_result.bytes; });
        return true;
    }

    ReadResult endOfFile(std::int64_t at)
    {
        m_result.bytes = at - m_begin;
        return m_result;
    }

    SectorSource& m_bulk;
    SectorProbe& m_probe;
    const std::int64_t m_begin;
    const std::int64_t m_end;
    std::span<std::byte> m_buffer;
    SalvageTrail& m_trail;
    const std::function<bool()>& m_stopRequested;
    const bool m_edgesOnly;
    std::int64_t m_grain = 0;
    std::int64_t m_finest = 0;
    long m_reads = 0;
    bool m_troubled = false; // some read of this buffer stopped short
    // A probe's read stopped short with no error before the file's end: the
    // medium gives what lies before a bad sector. (A bulk read can stop
    // short where the kernel split it and a later piece failed.)
    bool m_givesBytesBefore = false;
    bool m_stopped = false;
    // Where the inside of this buffer's first stretch read in a grain
    // coarser than the finest piece begins (past its first piece, known
    // bad), and where reading goes back to once the grain came down (-1:
    // nowhere).
    std::int64_t m_coarseFrom = -1;
    std::int64_t m_readAgainFrom = -1;
    ReadResult m_result;
};

} // namespace

ReadResult salvageRead(SectorSource& bulk, SectorProbe& probe, std::int64_t offset,
                       std::span<std::byte> buffer, SalvageTrail& trail,
                       const std::function<bool()>& stopRequested, StretchSearch search)
{
    return Salvage(bulk, probe, offset, buffer, trail, stopRequested, search).read();
}

} // namespace brindlecap
