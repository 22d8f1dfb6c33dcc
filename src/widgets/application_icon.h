// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace brindlecap {

// The icon that all of the program's windows carry: 32 x 32 and 16 x 16.
QIcon applicationIcon();

} // namespace brindlecap
