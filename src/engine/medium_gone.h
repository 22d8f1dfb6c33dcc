// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <system_error>

namespace brindlecap {

// Whether a read error means the medium is gone (the disc taken out, the
// drive unplugged) rather than a sector bad: nothing after it was tried.
bool mediumGone(const std::error_code& error);

} // namespace brindlecap
