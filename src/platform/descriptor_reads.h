// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sector_salvage.h"
#include "unique_fd.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <span>

namespace brindlecap {

// EINTR and EAGAIN mean "try again", but a medium that answers every request
// with them would keep the program spinning for ever: after this many in a
// row without progress the request counts as failed.
inline constexpr int retriesWithoutProgress = 8;

// Whether a failed system call's errno is worth another try.
bool worthRetrying(int error);

// Runs a system call until it succeeds or fails for good: again after EINTR
// or EAGAIN, up to retriesWithoutProgress times in a row. Gives the call's
// last result; errno then says why it failed.
template <typename Call> auto retrying(Call call)
{
    for (int retries = 0;; ++retries) {
        const auto result = call();
        if (result >= 0 || !worthRetrying(errno) || retries == retriesWithoutProgress)
            return result;
    }
}

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
    // system, or else the file system's block.
    SalvageProbe(int source, std::int64_t sector) : m_source(source), m_chosenSector(sector) {}
    std::int64_t grain() override;
    TransferResult readOnce(std::int64_t offset, std::span<std::byte> into) override;

private:
    struct FreeAligned
    {
        void operator()(std::byte* bytes) const;
    };

    void open();
    void leaveDirectIo();
    bool haveBounce(std::int64_t size);

    int m_source;
    std::int64_t m_chosenSector;
    UniqueFd m_fd;
    bool m_opened = false;
    bool m_direct = false;
    std::int64_t m_grain = 0;
    std::unique_ptr<std::byte, FreeAligned> m_bounce; // O_DIRECT wants aligned memory
    std::int64_t m_bounceSize = 0;
};

} // namespace brindlecap
