// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>

namespace brindlecap {

// The mounted volumes, each shown by its mount point, "/" first. Starts on the
// volume that holds the working directory; the picked one is currentText().
class DriveListBox final : public QComboBox
{
    Q_OBJECT

public:
    explicit DriveListBox(QWidget* parent = nullptr);
};

// The mount points of the volumes that can be used now, "/" first, then by
// name, each once.
QStringList mountedVolumePaths();

} // namespace brindlecap
