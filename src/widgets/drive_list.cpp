// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive_list.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace brindlecap {

QStringList mountedVolumePaths()
{
    QStringList paths;
    for (const auto& volume : QStorageInfo::mountedVolumes())
        // A file can be a mount point too (a bind-mounted one); it holds no
        // folder to copy into.
        if (volume.isValid() && volume.isReady() && QFileInfo(volume.rootPath()).isDir())
            paths << volume.rootPath();
    // The root sorts first by itself: "/" comes before any other mount point.
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return paths;
}

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent)
{
    auto paths = mountedVolumePaths();
    // The working directory may lie on a volume left out above (one that is
    // not ready, say); it is listed all the same, since the folder list is there.
    const auto current = QStorageInfo(QDir::currentPath()).rootPath();
    if (!current.isEmpty() && !paths.contains(current)) {
        paths << current;
        std::sort(paths.begin(), paths.end());
    }
    addItems(paths);
    setCurrentIndex(static_cast<int>(paths.indexOf(current)));
}

} // namespace brindlecap
