// SPDX-License-Identifier: GPL-3.0-or-later
#include "open_dialog.h"

#include "picker_places.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>

namespace brindlecap::Module1 {

QString ShowOpenDialog(QWidget& owner, const QString& destination)
{
    // Qt's own "*.*" hides names without a dot; "*" shows every file while
    // the user still reads the one filter "All Files (*.*)".
    QFileDialog dialog(&owner, owner.windowTitle(), QCoreApplication::applicationDirPath(),
                       QStringLiteral("All Files (*.*) (*)"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setWindowModality(Qt::WindowModal);
    // The disc and the home folder a click away; Qt's own places after them.
    dialog.setSidebarUrls(pickerPlaces(destination, userMediaFolders()) + dialog.sidebarUrls());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return pickerTextFor(dialog.selectedFiles());
}

QString pickerTextFor(const QStringList& chosenFiles)
{
    const QChar nul(u'\0');
    if (chosenFiles.isEmpty())
        return {};
    if (chosenFiles.size() == 1)
        return chosenFiles.front() + nul + nul;
    const QDir folder(QFileInfo(chosenFiles.front()).absolutePath());
    QString text = folder.path() + nul;
    // A name typed with a folder of its own stays reachable from the first
    // file's folder through a relative path.
    for (const auto& file : chosenFiles)
        text += folder.relativeFilePath(file) + nul;
    return text + nul;
}

} // namespace brindlecap::Module1

namespace brindlecap {

std::optional<QStringList> droppedFiles(const QMimeData& drag)
{
    QStringList files;
    for (const auto& url : drag.urls()) {
        const QFileInfo file(url.toLocalFile());
        if (!url.isLocalFile() || !file.isFile())
            return std::nullopt;
        files.append(file.absoluteFilePath());
    }
    if (files.isEmpty())
        return std::nullopt;
    return files;
}

} // namespace brindlecap
