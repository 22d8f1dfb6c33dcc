// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <signal.h>

namespace brindlecap {

// Holds Ctrl-C (SIGINT) and SIGTERM back while it lives, so a copy can stop
// between two reads and still save its maps and print its report;
// requested() tells which one came. Asking the kernel keeps this free of
// any global flag.
class InterruptWatch final
{
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // SIGINT or SIGTERM when one came, else 0.
    int requested() const;

private:
    sigset_t m_watched{};
    sigset_t m_previous{};
};

} // namespace brindlecap
