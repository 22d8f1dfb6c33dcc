// SPDX-License-Identifier: GPL-3.0-or-later
#include "application_icon.h"

namespace brindlecap {

QIcon applicationIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/brindlecap-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/brindlecap-16.png"), QSize(16, 16));
    return icon;
}

} // namespace brindlecap
