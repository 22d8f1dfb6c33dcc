// SPDX-License-Identifier: GPL-3.0-or-later
#include "open_dialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace brindlecap::Module1 {

QString ShowOpenDialog(QWidget& owner)
{
    // Qt's own "*.*" hides names without a dot; "*" shows every file while
    // the user still reads the one filter "All Files (*.*)".
    QFileDialog dialog(&owner, owner.windowTitle(), QCoreApplication::applicationDirPath(),
                       QStringLiteral("All Files (*.*) (*)"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setWindowModality(Qt::WindowModal);
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
