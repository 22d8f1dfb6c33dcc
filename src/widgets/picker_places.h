// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace brindlecap {

// Where the desktop mounts removable media for the user: /media/USER and
// /run/media/USER (udisks uses one or the other).
QStringList userMediaFolders();

// The places an open-file dialog's side bar offers first: the home folder,
// each medium mounted in one of `mediaFolders` (optical discs first, then by
// name), and `destination` once one is chosen (empty: none yet).
QList<QUrl> pickerPlaces(const QString& destination, const QStringList& mediaFolders);

} // namespace brindlecap
