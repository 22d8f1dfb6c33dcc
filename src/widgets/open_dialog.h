// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace brindlecap::Module1 {

// The picker text of a multi-select open-file dialog over `owner`, whose
// side bar offers the home folder, the user's mounted media and
// `destination` (once chosen):
//   one file:        path, NUL, NUL
//   several files:   folder, NUL, each name and NUL, one more NUL
//   cancelled:       ""
QString ShowOpenDialog(QWidget& owner, const QString& destination);

// The picker text for files the user chose (absolute paths, in order).
QString pickerTextFor(const QStringList& chosenFiles);

} // namespace brindlecap::Module1

class QMimeData;

namespace brindlecap {

// The files a drag from a file manager holds, as absolute paths in order,
// when it holds only local files the picker could have chosen; nullopt when
// it holds nothing else, a folder, or anything not on this computer.
std::optional<QStringList> droppedFiles(const QMimeData& drag);

} // namespace brindlecap
