// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_access.h"
#include "folder_tree.h"
#include "unique_fd.h"

#include <cstdint>
#include <span>
#include <string>
#include <system_error>

namespace brindlecap {

// A copy the job wrote, looked at again through its name: held by a handle
// that can open nothing (O_PATH), so a FIFO or a device put in its place is
// never opened, and only while the name leads to the file that was written
// (else CopyError::destinationReplaced).
class WrittenCopy final
{
public:
    std::error_code open(const NamePlace& place, const FileIdentity& written);

    // As they were when it was opened: a sync or a read changes none of them.
    const CopyFacts& facts() const { return m_facts; }
    // Puts what was written to it on the disk, and reports a write-back
    // that failed since it was written.
    std::error_code sync() const;
    // Reads exactly `into.size()` bytes at `offset`.
    std::error_code read(std::int64_t offset, std::span<std::byte> into) const;

private:
    std::error_code readable() const;

    UniqueFd m_handle;
    CopyFacts m_facts;
    mutable UniqueFd m_readable; // opened when first needed
};

} // namespace brindlecap
