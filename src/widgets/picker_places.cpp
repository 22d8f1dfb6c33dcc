// SPDX-License-Identifier: GPL-3.0-or-later
#include "picker_places.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace brindlecap {

QStringList userMediaFolders()
{
    // The account's own name: $USER may be unset, or another user's under su.
    const auto* account = ::getpwuid(::geteuid());
    if (account == nullptr)
        return {};
    const auto user = QFile::decodeName(account->pw_name);
    return {QStringLiteral("/media/") + user, QStringLiteral("/run/media/") + user};
}

QList<QUrl> pickerPlaces(const QString& destination, const QStringList& mediaFolders)
{
    struct Medium
    {
        bool optical;
        QString mountPoint;
    };
    std::vector<Medium> media;
    for (const auto& volume : QStorageInfo::mountedVolumes()) {
        const auto mountPoint = volume.rootPath();
        if (!volume.isValid() || !mediaFolders.contains(QFileInfo(mountPoint).path()))
            continue;
        const auto type = volume.fileSystemType();
        media.push_back({type == "iso9660" || type == "udf", mountPoint});
    }
    // The disc being rescued is most likely the optical one.
    std::sort(media.begin(), media.end(), [](const Medium& a, const Medium& b) {
        return a.optical != b.optical ? a.optical : a.mountPoint < b.mountPoint;
    });
    QList<QUrl> places{QUrl::fromLocalFile(QDir::homePath())};
    for (const auto& medium : media)
        places.append(QUrl::fromLocalFile(medium.mountPoint));
    if (!destination.isEmpty())
        places.append(QUrl::fromLocalFile(destination));
    return places;
}

} // namespace brindlecap
