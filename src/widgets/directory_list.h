// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTreeWidget>

namespace brindlecap {

// A list of folders around one open folder: the folders from the root down to
// it, then its subfolders. A double-click (or Return) opens the folder under
// it; a single click only highlights one. Starts at the working directory.
class DirectoryListBox final : public QTreeWidget
{
    Q_OBJECT

public:
    explicit DirectoryListBox(QWidget* parent = nullptr);

    // The open folder: absolute, with no "/" at the end except for the root.
    QString path() const { return m_path; }
    // Opens `folder`. Fails, and leaves the list as it was, when the folder
    // cannot be read.
    [[nodiscard]] bool setPath(const QString& folder);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openItem(const QTreeWidgetItem* item);
    void show(const QString& folder, const QStringList& subfolders);

    QString m_path;
};

} // namespace brindlecap
