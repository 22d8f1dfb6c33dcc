// SPDX-License-Identifier: GPL-3.0-or-later
#include "medium_gone.h"

#include <cerrno>

namespace brindlecap {

bool mediumGone(const std::error_code& error)
{
    if (error.category() != std::generic_category())
        return false;
    switch (error.value()) {
    case ENOMEDIUM: // the disc was taken out
    case ENODEV:    // the drive went away
    case ENXIO:     // the device behind the file is gone
    case ESTALE:    // a network share lost the file
        return true;
    default:
        return false;
    }
}

} // namespace brindlecap
