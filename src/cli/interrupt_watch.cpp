// SPDX-License-Identifier: GPL-3.0-or-later
#include "interrupt_watch.h"

#include <initializer_list>

namespace brindlecap {

InterruptWatch::InterruptWatch()
{
    sigemptyset(&m_watched);
    sigaddset(&m_watched, SIGINT);
    sigaddset(&m_watched, SIGTERM);
    sigprocmask(SIG_BLOCK, &m_watched, &m_previous);
}

InterruptWatch::~InterruptWatch()
{
    // Take the pending signals first, or unblocking would deliver them now.
    const timespec noWait{};
    while (sigtimedwait(&m_watched, nullptr, &noWait) > 0) {
    }
    sigprocmask(SIG_SETMASK, &m_previous, nullptr);
}

int InterruptWatch::requested() const
{
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    for (const int signal : {SIGINT, SIGTERM})
        if (sigismember(&pending, signal) == 1)
            return signal;
    return 0;
}

} // namespace brindlecap
