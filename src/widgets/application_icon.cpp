// SPDX-License-Identifier: GPL-3.0-or-later
#include "application_icon.h"

namespace brindlecap {

QIcon applicationIcon()
{
    // A title bar's size, a task switcher's, and one to scale down from.
    QIcon icon;
    for (const int size : {16, 32, 64, 256})
        icon.addFile(QStringLiteral(":/icons/brindlecap-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace brindlecap
