// SPDX-License-Identifier: GPL-3.0-or-later
#include "descriptor_reads.h"

#include "medium_sector.h"
#include "regular_file_open.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace brindlecap {

namespace {

// Sectors are 512 bytes on disks and 2048 on optical discs, which the file
// system's block size reflects; a 4 KiB block is as coarse as it gets.
constexpr std::int64_t smallestGrain = 512;
constexpr std::int64_t largestGrain = 4096;
constexpr std::int64_t memoryAlignment = 4096;

TransferResult preadOnce(int fd, void* into, std::size_t size, std::int64_t offset)
{
    const auto got = retrying([&] { return ::pread(fd, into, size, offset); });
    return got >= 0 ? TransferResult{got, {}} : TransferResult{0, lastError()};
}

std::int64_t pageSize()
{
    return ::sysconf(_SC_PAGESIZE);
}

struct Grain
{
    std::int64_t bytes = 0;
    bool sectorKnown = false; // the medium's own sector, or the user's
};

// `chosen`: the sector the user gave, else 0.
Grain grainFor(int fd, bool direct, std::int64_t chosen)
{
    struct statvfs volume
    {};
    std::int64_t grain = largestGrain;
    if (::fstatvfs(fd, &volume) == 0 && volume.f_bsize > 0)
        grain = std::clamp<std::int64_t>(static_cast<std::int64_t>(volume.f_bsize), smallestGrain,
                                         largestGrain);
    while ((grain & (grain - 1)) != 0) // a power of two, or offsets would not align
        grain &= grain - 1;
    // A disk's ext4 or FAT has 4 KiB blocks over 512-byte sectors: where the
    // medium's own sector is known, it finds a bad stretch's edges, so that
    // no readable sector beside a bad one is lost with it.
    const auto sector = chosen > 0 ? chosen : mediumSector(fd);
    if (chosen > 0)
        grain = chosen;
    else if (sector > 0)
        grain = std::min(grain, sector);
    // Through the page cache the kernel reads and fails whole pages.
    return {direct ? grain : std::max(grain, pageSize()), sector > 0};
}

} // namespace

TransferResult writeAll(int fd, std::int64_t offset, std::span<const std::byte> buffer)
{
    TransferResult result;
    while (result.bytes < static_cast<std::int64_t>(buffer.size())) {
        const auto rest = buffer.subspan(static_cast<std::size_t>(result.bytes));
        const auto put =
            retrying([&] { return ::pwrite(fd, rest.data(), rest.size(), offset + result.bytes); });
        if (put < 0) {
            result.error = lastError(); // ENOSPC on a full disk, EFBIG past the size limit
            break;
        }
        if (put == 0) {
            result.error = std::make_error_code(std::errc::io_error); // no progress, no error
            break;
        }
        result.bytes += put;
    }
    return result;
}

TransferResult DescriptorReads::readOnce(std::int64_t offset, std::span<std::byte> into)
{
    return preadOnce(m_fd, into.data(), into.size(), offset);
}

void SalvageProbe::FreeAligned::operator()(std::byte* bytes) const
{
    std::free(bytes);
}

std::int64_t SalvageProbe::grain()
{
    open();
    return learning() ? m_evidence.grain(m_grain, m_finest) : m_grain;
}

std::int64_t SalvageProbe::finest()
{
    open();
    return learning() ? m_evidence.finest(m_grain, m_finest) : m_finest;
}

void SalvageProbe::edgeAt(std::int64_t offset)
{
    if (learning())
        m_evidence.edgeAt(offset, m_grain);
}

bool SalvageProbe::grainCameDown()
{
    return grain() < m_grain;
}

bool SalvageProbe::learning() const
{
    return m_finest < m_grain;
}

void SalvageProbe::open()
{
    if (m_opened)
        return;
    m_opened = true;
    // The source's own descriptor, opened again: the same file, whatever its
    // name leads to now, with a read position and flags of its own.
    m_direct = !reopenHandle(m_source, O_RDONLY | O_DIRECT, m_fd);
    if (!m_direct && reopenHandle(m_source, O_RDONLY, m_fd))
        m_fd = UniqueFd(::dup(m_source)); // no /proc: share the source's descriptor
    const auto grain = grainFor(m_fd.isOpen() ? m_fd.get() : m_source, m_direct, m_chosenSector);
    m_grain = grain.bytes;
    m_finest = m_direct && !grain.sectorKnown ? smallestGrain : m_grain;
    if (!m_direct && m_fd.isOpen())
        ::posix_fadvise(m_fd.get(), 0, 0, POSIX_FADV_RANDOM);
}

bool SalvageProbe::haveBounce(std::int64_t size)
{
    if (size <= m_bounceSize)
        return true;
    // aligned_alloc takes only whole multiples of the alignment.
    size = (size + memoryAlignment - 1) / memoryAlignment * memoryAlignment;
    m_bounce.reset(static_cast<std::byte*>(
        std::aligned_alloc(memoryAlignment, static_cast<std::size_t>(size))));
    m_bounceSize = m_bounce ? size : 0;
    return m_bounce != nullptr;
}

void SalvageProbe::leaveDirectIo()
{
    // The device wants a larger alignment than the file system's block:
    // read through the page cache instead, a page at a time.
    m_direct = false;
    m_grain = std::max(m_grain, pageSize());
    m_finest = m_grain;
    ::fcntl(m_fd.get(), F_SETFL, ::fcntl(m_fd.get(), F_GETFL) & ~O_DIRECT);
    ::posix_fadvise(m_fd.get(), 0, 0, POSIX_FADV_RANDOM);
}

SalvageProbe::Request SalvageProbe::requestFor(std::int64_t offset, std::size_t size) const
{
    const auto aligned = offset / m_finest * m_finest;
    const auto lead = offset - aligned;
    const auto length =
        (lead + static_cast<std::int64_t>(size) + m_finest - 1) / m_finest * m_finest;
    return {aligned, lead, length};
}

bool SalvageProbe::coarsen()
{
    // Finer than the grain, the grain will do; the grain itself, only past
    // the page cache.
    if (m_finest < m_grain)
        m_finest = m_grain;
    else
        leaveDirectIo();
    return true;
}

TransferResult SalvageProbe::readOnce(std::int64_t offset, std::span<std::byte> into)
{
    open();
    // The request covers whole pieces of the finest size, aligned as
    // O_DIRECT wants them, and the bytes asked for are taken out of it.
    Request request;
    TransferResult got;
    do {
        request = requestFor(offset, into.size());
        if (!m_fd.isOpen() || !haveBounce(request.length))
            return {0, std::make_error_code(std::errc::bad_file_descriptor)};
        got = preadOnce(m_fd.get(), m_bounce.get(), static_cast<std::size_t>(request.length),
                        request.aligned);
        // EINVAL: an alignment the device refuses, before it reads anything.
    } while (got.error == std::errc::invalid_argument && m_direct && coarsen());
    if (got.error)
        return got;
    auto usable = std::clamp<std::int64_t>(got.bytes - request.lead, 0,
                                           static_cast<std::int64_t>(into.size()));
    std::memcpy(into.data(), m_bounce.get() + request.lead, static_cast<std::size_t>(usable));
    // Stopped before the bytes asked for, yet not at the end of the file: the
    // medium gave the bytes before a bad one, which lies before `offset` or
    // at it. Such media take a request at any offset, so ask at `offset`.
    struct stat status
    {};
    if (usable == 0 && got.bytes > 0 && got.bytes < request.length &&
        ::fstat(m_fd.get(), &status) == 0 && request.aligned + got.bytes < status.st_size) {
        got = preadOnce(m_fd.get(), m_bounce.get(), into.size(), offset);
        if (got.error == std::errc::invalid_argument)
            got.error = std::make_error_code(std::errc::io_error);
        if (got.error)
            return got;
        usable = std::min<std::int64_t>(got.bytes, static_cast<std::int64_t>(into.size()));
        std::memcpy(into.data(), m_bounce.get(), static_cast<std::size_t>(usable));
    }
    return {usable, {}};
}

} // namespace brindlecap
