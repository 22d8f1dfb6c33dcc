// SPDX-License-Identifier: GPL-3.0-or-later
#include "directory_list.h"
#include "drive_list.h"
#include "gui_test_support.h"
#include "scratch_dir.h"

#include <QDir>
#include <QStorageInfo>
#include <QTreeWidgetItemIterator>

#include <filesystem>

namespace brindlecap::testing {
namespace {

namespace fs = std::filesystem;

class DirectoryListTest final : public QObject
{
    Q_OBJECT

private slots:
    void itShowsTheFoldersDownToTheOpenOneAndThenItsSubfolders()
    {
        ScratchDir scratch;
        for (const auto* name : {"beta", "Alpha", "gamma", ".hidden"})
            fs::create_directory(scratch.path() / name);
        writeFile(scratch / "a file", patternBytes(10));
        fs::create_directory_symlink(scratch.path() / "gamma", scratch.path() / "link to gamma");

        DirectoryListBox list;
        const auto folder = QString::fromStdString(scratch.path().string());
        QVERIFY(list.setPath(folder + QStringLiteral("/")));
        QCOMPARE(list.path(), folder);

        QStringList shown;
        for (QTreeWidgetItemIterator it(&list); *it != nullptr; ++it)
            shown << (*it)->text(0);
        auto expected = QStringList{QStringLiteral("/")} + folder.split(u'/', Qt::SkipEmptyParts);
        expected << "Alpha"
                 << "beta"
                 << "gamma"
                 << "link to gamma";
        QCOMPARE(shown, expected);
        QCOMPARE(list.currentItem()->text(0), folder.section(u'/', -1));
    }

    void pathsComeOutAbsoluteAndTidy()
    {
        ScratchDir scratch;
        fs::create_directory(scratch.path() / "sub");
        const auto folder = QString::fromStdString(scratch.path().string());
        DirectoryListBox list;
        QVERIFY(list.setPath(folder + QStringLiteral("//sub/./../sub/")));
        QCOMPARE(list.path(), folder + QStringLiteral("/sub"));
        QVERIFY(list.setPath(QStringLiteral("/")));
        QCOMPARE(list.path(), QStringLiteral("/"));
        QCOMPARE(list.topLevelItemCount(), 1);

        const auto previous = QDir::currentPath();
        QDir::setCurrent(folder);
        QVERIFY(list.setPath(QStringLiteral("sub")));
        QCOMPARE(list.path(), folder + QStringLiteral("/sub"));
        DirectoryListBox fresh;
        QCOMPARE(fresh.path(), folder);
        QDir::setCurrent(previous);
    }

    void aFolderThatCannotBeOpenedLeavesTheListAsItWas_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("missing") << QStringLiteral("missing");
        QTest::newRow("a file") << QStringLiteral("a file");
        QTest::newRow("a dangling link") << QStringLiteral("dangling");
        QTest::newRow("no permission") << QStringLiteral("locked");
    }
    void aFolderThatCannotBeOpenedLeavesTheListAsItWas()
    {
        QFETCH(QString, target);
        ScratchDir scratch;
        writeFile(scratch / "a file", patternBytes(10));
        fs::create_directory_symlink(scratch.path() / "nowhere", scratch.path() / "dangling");
        fs::create_directory(scratch.path() / "locked");
        fs::permissions(scratch.path() / "locked", fs::perms::none);
        if (target == QStringLiteral("locked") && ::geteuid() == 0)
            QSKIP("root can read any folder; run the tests as another user to cover this");

        const auto folder = QString::fromStdString(scratch.path().string());
        DirectoryListBox list;
        QVERIFY(list.setPath(folder));
        const auto count = list.topLevelItem(0)->childCount();
        QVERIFY(!list.setPath(folder + u'/' + target));
        QCOMPARE(list.path(), folder);
        QCOMPARE(list.topLevelItem(0)->childCount(), count);
        fs::permissions(scratch.path() / "locked", fs::perms::owner_all);
    }

    void theVolumesAreFoldersWithTheRootFirst()
    {
        const auto volumes = mountedVolumePaths();
        QVERIFY(!volumes.isEmpty());
        QCOMPARE(volumes.front(), QStringLiteral("/"));
        QCOMPARE(QSet<QString>(volumes.begin(), volumes.end()).size(), volumes.size());
        // Other tests mount and unmount media meanwhile: one gone since the
        // listing is no longer there to look at.
        for (const auto& volume : volumes)
            QVERIFY2(QFileInfo(volume).isDir() || !QFileInfo::exists(volume), qPrintable(volume));
        DriveListBox drives;
        QCOMPARE(drives.currentText(), QStorageInfo(QDir::currentPath()).rootPath());
    }
};

} // namespace

int runDirectoryListTest(int argc, char** argv)
{
    return runTestObject<DirectoryListTest>(argc, argv);
}

} // namespace brindlecap::testing

#include "directory_list_test.moc"
