// SPDX-License-Identifier: GPL-3.0-or-later
#include "exit_status.h"

namespace brindlecap {

int exitStatusFor(const JobReport& report)
{
    switch (report.verdict()) {
    case JobVerdict::allCopied:
        return exitAllCopied;
    case JobVerdict::unreadableAsZeros:
        return exitUnreadableAsZeros;
    case JobVerdict::notAllWritten:
        return exitNotAllWritten;
    }
    return exitNotAllWritten;
}

} // namespace brindlecap
