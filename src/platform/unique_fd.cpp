// SPDX-License-Identifier: GPL-3.0-or-later
#include "unique_fd.h"

#include <unistd.h>

namespace brindlecap {

std::error_code UniqueFd::close() noexcept
{
    if (m_fd < 0)
        return {};
    const int fd = std::exchange(m_fd, -1);
    // Linux releases the descriptor even when close() fails, EINTR included,
    // so it is never retried; the error is still worth reporting.
    if (::close(fd) != 0)
        return lastError();
    return {};
}

} // namespace brindlecap
