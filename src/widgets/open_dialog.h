// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace brindlecap::Module1 {

// The picker text of a multi-select open-file dialog over `owner`:
//   one file:        path, NUL, NUL
//   several files:   folder, NUL, each name and NUL, one more NUL
//   cancelled:       ""
QString ShowOpenDialog(QWidget& owner);

// The picker text for files the user chose (absolute paths, in order).
QString pickerTextFor(const QStringList& chosenFiles);

} // namespace brindlecap::Module1
