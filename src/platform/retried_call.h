// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cerrno>

namespace brindlecap {

// EINTR and EAGAIN mean "try again", but a medium that answers every request
// with them would keep the program spinning for ever: after this many in a
// row without progress the request counts as failed.
inline constexpr int retriesWithoutProgress = 8;

// Which failures of a call are worth another try.
enum class RetryOn
{
    interruption,        // EINTR only: there EAGAIN is an answer (a lock or a lease held)
    interruptionOrAgain, // EINTR and EAGAIN
};

inline bool worthRetrying(int error, RetryOn on = RetryOn::interruptionOrAgain)
{
    return error == EINTR || (on == RetryOn::interruptionOrAgain && error == EAGAIN);
}

// Runs a system call until it succeeds or fails for good: again after the
// failures `on` names, up to retriesWithoutProgress times in a row. Gives
// the call's last result; errno then says why it failed.
template <typename Call> auto retrying(Call call, RetryOn on = RetryOn::interruptionOrAgain)
{
    for (int retries = 0;; ++retries) {
        const auto result = call();
        if (result >= 0 || !worthRetrying(errno, on) || retries == retriesWithoutProgress)
            return result;
    }
}

} // namespace brindlecap
