// SPDX-License-Identifier: GPL-3.0-or-later
#include "directory_list.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>

#include <dirent.h>
#include <memory>

namespace brindlecap {

namespace {

constexpr int pathRole = Qt::UserRole;

// Opening the folder is the one sure test that it can be listed: access()
// says yes to root, and a failing medium may answer stat but not readdir.
bool canList(const QString& folder)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> directory(
        ::opendir(QFile::encodeName(folder).constData()), ::closedir);
    return directory != nullptr;
}

} // namespace

DirectoryListBox::DirectoryListBox(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(12);
    // Nothing folds, so no fold arrows: the tree is always open along the path.
    setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; }"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemDoubleClicked, this, &DirectoryListBox::openItem);
    // A folder that cannot be listed still opens, empty, so the list never
    // starts without a path.
    if (!setPath(QDir::currentPath()))
        show(QDir::cleanPath(QDir::currentPath()), {});
}

bool DirectoryListBox::setPath(const QString& folder)
{
    const auto absolute = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QFileInfo(absolute).isDir() || !canList(absolute))
        return false;
    show(absolute, QDir(absolute).entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                            QDir::Name | QDir::IgnoreCase | QDir::LocaleAware));
    return true;
}

void DirectoryListBox::show(const QString& folder, const QStringList& subfolders)
{
    m_path = folder;
    clear();
    const auto openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const auto closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    auto* item = new QTreeWidgetItem(this, {QStringLiteral("/")});
    item->setData(0, pathRole, QStringLiteral("/"));
    item->setIcon(0, openIcon);
    QString reached;
    for (const auto& name : folder.split(u'/', Qt::SkipEmptyParts)) {
        reached += u'/' + name;
        item = new QTreeWidgetItem(item, {name});
        item->setData(0, pathRole, reached);
        item->setIcon(0, openIcon);
    }
    auto* const open = item;
    for (const auto& name : subfolders) {
        auto* subfolder = new QTreeWidgetItem(open, {name});
        subfolder->setData(0, pathRole, reached + u'/' + name);
        subfolder->setIcon(0, closedIcon);
    }
    expandAll();
    setCurrentItem(open);
    scrollToItem(open);
}

void DirectoryListBox::openItem(const QTreeWidgetItem* item)
{
    // A folder that cannot be read stays closed; the list keeps the old one.
    if (item != nullptr)
        static_cast<void>(setPath(item->data(0, pathRole).toString()));
}

void DirectoryListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openItem(currentItem());
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

} // namespace brindlecap
