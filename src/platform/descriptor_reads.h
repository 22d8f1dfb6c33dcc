// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "retried_call.h"
#include "sector_evidence.h"
#include "sector_salvage.h"
#include "unique_fd.h"

#include <cstdint>
#include <memory>
#include <span>

namespace brindlecap {

// Writes the whole buffer at `offset`: short writes go on from where they
// stopped, as they may on a nearly full disk.
TransferResult writeAll(int fd, std::int64_t offset, std::span<const std::byte> buffer);

// Single read requests on an open descriptor.
class DescriptorReads final : public SectorSource
{
public:
    explicit DescriptorReads(int fd) : m_fd(fd) {}
    TransferResult readOnce(std::int64_t offset, std::span<std::byte> into) override;

private:
    int m_fd;
};

// Reads for salvage, on a descriptor of their own for the same file.
// O_DIRECT where the file system allows it: each request then reaches the
// drive as asked, at the medium's sector, where the page cache would read
// ahead and turn one bad sector into several failing reads of whole pages.
// Elsewhere through the page cache with read-ahead off, a page at a time.
// Nothing is opened until salvage first needs it.
class SalvageProbe final : public SectorProbe
{
public:
    // `sector`: the medium's sector as the user gave it; 0: learnt from the
    // system, or else the file system's block. `evidence`: what the edges
    // found so far on the file's device tell, where nothing says its sector.
    SalvageProbe(int source, std::int64_t sector, SectorEvidence& evidence)
        : m_source(source), m_chosenSector(sector), m_evidence(evidence)
    {}
    std::int64_t grain() override;
    // Where nothing says the medium's sector and requests reach it as asked
    // (O_DIRECT), a disk's 512 bytes, until the device refuses so fine an
    // alignment or the edges found show a larger sector; else the grain.
    std::int64_t finest() override;
    void edgeAt(std::int64_t offset) override;
    bool grainCameDown() override;
    TransferResult readOnce(std::int64_t offset, std::span<std::byte> into) override;

private:
    struct FreeAligned
    {
        void operator()(std::byte* bytes) const;
    };

    // A read of whole finest pieces around the bytes asked for.
    struct Request
    {
        std::int64_t aligned = 0; // where it starts
        std::int64_t lead = 0;    // bytes before those asked for
        std::int64_t length = 0;
    };

    void open();
    Request requestFor(std::int64_t offset, std::size_t size) const;
    // Reads in larger pieces, where the device refused the alignment.
    bool coarsen();
    // The medium's sector is unknown, and reads can ask for finer pieces.
    bool learning() const;
    void leaveDirectIo();
    bool haveBounce(std::int64_t size);

    int m_source;
    std::int64_t m_chosenSector;
    SectorEvidence& m_evidence;
    UniqueFd m_fd;
    bool m_opened = false;
    bool m_direct = false;
    std::int64_t m_grain = 0;  // the medium's sector, or the file system's block
    std::int64_t m_finest = 0; // the finest alignment reads can take
    std::unique_ptr<std::byte, FreeAligned> m_bounce; // O_DIRECT wants aligned memory
    std::int64_t m_bounceSize = 0;
};

} // namespace brindlecap
