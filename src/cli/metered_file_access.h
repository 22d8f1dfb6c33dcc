// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "forwarding_file_access.h"
#include "progress_meter.h"

namespace brindlecap {

// File access that tells a read clock when each open and read of a source
// starts and ends, so that the progress line can say the drive is being
// waited on.
class MeteredFileAccess final : public ForwardingFileAccess
{
public:
    MeteredFileAccess(FileAccess& files, ReadClock& clock)
        : ForwardingFileAccess(files), m_clock(clock)
    {}

    std::error_code openSource(const std::string& path, const FileIdentity& expected) override;
    ReadResult readAt(std::int64_t offset, std::span<std::byte> buffer) override;
    ReadResult skimAt(std::int64_t offset, std::span<std::byte> buffer) override;
    ReadResult scrapeAt(std::int64_t offset, std::span<std::byte> buffer) override;

private:
    template <typename Read> ReadResult metered(Read read);

    ReadClock& m_clock;
};

} // namespace brindlecap
