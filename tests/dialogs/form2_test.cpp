// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialog_test_support.h"
#include "directory_list.h"
#include "drive_list.h"

#include <QDir>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeWidgetItemIterator>

namespace brindlecap::testing {
namespace {

class Form2Test final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<DialogFixture>();
        auto& f = *m_fixture;
        f.pick(pickedIn(f.folder(), {f.source("a.bin", 100000).section(u'/', -1)}));
    }
    void cleanup()
    {
        m_fixture.reset();
        DialogFixture::finishClosing();
    }

    void theDialogIsLaidOutAsDesigned()
    {
        auto& dialog = open();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Brindlecap - Directory Selection"));
        QCOMPARE(dialog.size(), QSize(289, 226));
        const auto flags = dialog.windowFlags();
        QVERIFY(flags.testFlags(Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint));
        QVERIFY(dialog.minimumSize() != dialog.maximumSize());

        const struct
        {
            const char* name;
            QRect geometry;
            const char* caption;
        } expected[] = {
            {"Drive1", {8, 8, 273, 21}, nullptr},
            {"Dir1", {8, 32, 273, 141}, nullptr},
            {"Command2", {8, 184, 129, 33}, "Cancel"},
            {"Command1", {152, 184, 129, 33}, "Ok"},
        };
        for (const auto& control : expected) {
            const auto* widget = dialog.findChild<QWidget*>(control.name);
            QVERIFY2(widget != nullptr, control.name);
            QCOMPARE(widget->geometry(), control.geometry);
            if (control.caption == nullptr)
                continue;
            const auto* button = static_cast<const QPushButton*>(widget);
            QCOMPARE(button->text(), QString::fromLatin1(control.caption));
            QVERIFY(button->font().bold());
            QCOMPARE(button->font().pointSizeF(), 8.25);
            // Neither Enter nor Esc presses a button.
            QVERIFY(!button->isDefault() && !button->autoDefault());
        }

        // Resizing moves nothing.
        dialog.resize(600, 500);
        QCOMPARE(button("Command1").geometry(), QRect(152, 184, 129, 33));
        QCOMPARE(dirList().geometry(), QRect(8, 32, 273, 141));

        // Same icon as the main window: 32 and 16 pixels, 16 colours at most.
        const auto icon = dialog.windowIcon();
        QCOMPARE(icon.pixmap(32).toImage(), m_fixture->window->windowIcon().pixmap(32).toImage());
        for (const int size : {32, 16}) {
            const auto image = icon.pixmap(size).toImage();
            QCOMPARE(image.size(), QSize(size, size));
            QSet<QRgb> colours;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    colours.insert(image.pixel(x, y));
            QVERIFY(colours.size() <= 16);
        }
    }

    void itOpensCentredWithTheFocusOnCancelAndTabsInOrder()
    {
        auto& dialog = open();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(dialog.frameGeometry().topLeft(), centredFramePosition(dialog));

        QCOMPARE(QApplication::focusWidget(), &button("Command2"));
        for (const char* next : {"Command1", "Dir1", "Drive1", "Command2"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(next));
        }
    }

    void openingShowsTheDialogThenDisablesTheMainWindow()
    {
        WindowEventLog log(*m_fixture->window);
        open();
        QCOMPARE(log.entries, QStringList({"dialog shown", "main disabled"}));
        QVERIFY(m_fixture->window->isVisible());
    }

    void okWritesTheOpenFolderEnablesCopyAndCloses()
    {
        auto& f = *m_fixture;
        const QPointer<QWidget> dialog = &open();
        const auto* instance = f.window->destinationDialog();
        QCOMPARE(dirList().path(), f.folder());
        QVERIFY(!f.control("cmdCopy")->isEnabled());

        WindowEventLog log(*f.window);
        QTest::mouseClick(&button("Command1"), Qt::LeftButton);
        QCOMPARE(f.text("lblDir"), f.folder());
        QVERIFY(f.control("cmdCopy")->isEnabled());
        QVERIFY(f.window->isEnabled());
        QCOMPARE(log.entries.front(), QStringLiteral("main enabled"));
        QVERIFY(log.entries.contains(QStringLiteral("dialog hidden")));
        DialogFixture::finishClosing();
        QVERIFY(dialog.isNull());
        QCOMPARE(f.window->destinationDialog(), instance);
    }

    void cancelAndTheCloseBoxLeaveDestinationAndCopyAsTheyWere_data()
    {
        QTest::addColumn<bool>("okBefore");
        QTest::addColumn<bool>("byCloseBox");
        QTest::newRow("Cancel, first opening") << false << false;
        QTest::newRow("close box, first opening") << false << true;
        QTest::newRow("Cancel after an earlier Ok") << true << false;
        QTest::newRow("close box after an earlier Ok") << true << true;
    }
    void cancelAndTheCloseBoxLeaveDestinationAndCopyAsTheyWere()
    {
        QFETCH(bool, okBefore);
        QFETCH(bool, byCloseBox);
        auto& f = *m_fixture;
        if (okBefore) {
            open();
            QTest::mouseClick(&button("Command1"), Qt::LeftButton);
        }
        const auto destination = f.text("lblDir");
        QCOMPARE(destination, okBefore ? f.folder() : QString());

        const QPointer<QWidget> dialog = &open();
        openByDoubleClick(QStringLiteral("alpha"));
        if (byCloseBox)
            QVERIFY(dialog->close());
        else
            QTest::mouseClick(&button("Command2"), Qt::LeftButton);
        QCOMPARE(f.text("lblDir"), destination);
        QCOMPARE(f.control("cmdCopy")->isEnabled(), okBefore);
        QVERIFY(f.window->isEnabled());
        DialogFixture::finishClosing();
        QVERIFY(dialog.isNull());
    }

    void theKeyboardPressesAButtonOnlyBySpaceOnItsFocus_data()
    {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("closes");
        for (const char* name : {"Command1", "Command2"}) {
            const QString focused = QString::fromLatin1(name);
            QTest::newRow(qPrintable(focused + " Esc")) << focused << int(Qt::Key_Escape) << false;
            QTest::newRow(qPrintable(focused + " Return"))
                << focused << int(Qt::Key_Return) << false;
            QTest::newRow(qPrintable(focused + " Enter")) << focused << int(Qt::Key_Enter) << false;
            QTest::newRow(qPrintable(focused + " Space")) << focused << int(Qt::Key_Space) << true;
        }
    }
    void theKeyboardPressesAButtonOnlyBySpaceOnItsFocus()
    {
        QFETCH(QString, focused);
        QFETCH(int, key);
        QFETCH(bool, closes);
        auto& f = *m_fixture;
        const QPointer<QWidget> dialog = &open();
        auto& target = button(qPrintable(focused));
        target.setFocus();
        QTest::keyClick(&target, Qt::Key(key));
        QCOMPARE(!dialog->isVisible(), closes);
        QCOMPARE(f.window->isEnabled(), closes);
        const bool okPressed = closes && focused == QStringLiteral("Command1");
        QCOMPARE(f.text("lblDir"), okPressed ? f.folder() : QString());
        QCOMPARE(f.control("cmdCopy")->isEnabled(), okPressed);
    }

    void aSingleClickHighlightsAndADoubleClickOpens()
    {
        auto& f = *m_fixture;
        open();
        auto* alpha = item(QStringLiteral("alpha"));
        auto& list = dirList();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(alpha).center());
        QCOMPARE(list.currentItem(), alpha);
        QCOMPARE(list.path(), f.folder());
        QTest::mouseClick(&button("Command1"), Qt::LeftButton);
        QCOMPARE(f.text("lblDir"), f.folder());

        open();
        openByDoubleClick(QStringLiteral("alpha"));
        QCOMPARE(dirList().path(), f.folder() + QStringLiteral("/alpha"));
        // The folder that is open now heads its own (empty) list of subfolders.
        QCOMPARE(dirList().currentItem()->text(0), QStringLiteral("alpha"));
        QCOMPARE(dirList().currentItem()->childCount(), 0);
        QTest::mouseClick(&button("Command1"), Qt::LeftButton);
        QCOMPARE(f.text("lblDir"), f.folder() + QStringLiteral("/alpha"));
    }

    void theRootIsWrittenAsASingleSlash()
    {
        open();
        openByDoubleClick(QStringLiteral("/"));
        QTest::mouseClick(&button("Command1"), Qt::LeftButton);
        QCOMPARE(m_fixture->text("lblDir"), QStringLiteral("/"));
    }

    void reopeningStartsAgainAtTheWorkingDirectory()
    {
        auto& f = *m_fixture;
        const QPointer<QWidget> first = &open();
        openByDoubleClick(QStringLiteral("alpha"));
        QTest::mouseClick(&button("Command1"), Qt::LeftButton);
        DialogFixture::finishClosing();
        QVERIFY(first.isNull());

        std::filesystem::create_directory(f.scratch.path() / "made meanwhile");
        open();
        QCOMPARE(dirList().path(), f.folder());
        QVERIFY(item(QStringLiteral("made meanwhile")) != nullptr);
        QCOMPARE(driveList().currentText(), QStorageInfo(f.folder()).rootPath());
    }

    void theVolumeListStartsOnTheWorkingDirectorysVolumeAndMovesTheFolderList()
    {
        auto& f = *m_fixture;
        open();
        auto& drives = driveList();
        QCOMPARE(drives.itemText(0), QStringLiteral("/"));
        QCOMPARE(drives.currentText(), QStorageInfo(f.folder()).rootPath());
        // Tests running beside this one mount and unmount volumes in their
        // scratch folders; those may be gone by now.
        const auto mayVanish = [](const QString& root) {
            return root.startsWith(QDir::tempPath() + QStringLiteral("/brindlecap-test-"));
        };
        int other = -1;
        for (int index = 0; index < drives.count(); ++index) {
            const auto root = drives.itemText(index);
            QVERIFY(QFileInfo(root).isDir() || mayVanish(root));
            if (other < 0 && index != drives.currentIndex() && !mayVanish(root))
                other = index;
        }

        // Picking another volume opens its top folder.
        if (other < 0)
            QSKIP("only one lasting volume is mounted here, so there is no other to pick");
        drives.setCurrentIndex(other);
        QCOMPARE(dirList().path(), drives.itemText(other));
        QTest::mouseClick(&button("Command1"), Qt::LeftButton);
        QCOMPARE(f.text("lblDir"), drives.itemText(other));
    }

    void aVolumeThatCannotBeReadLeavesTheFolderListWhereItWas()
    {
        auto& f = *m_fixture;
        open();
        // A volume listed when the dialog opened, gone by the time it is picked.
        const auto vanished = f.folder() + QStringLiteral("/unmounted");
        std::filesystem::create_directory(vanished.toStdString());
        auto& drives = driveList();
        drives.addItem(vanished);
        std::filesystem::remove(vanished.toStdString());
        drives.setCurrentIndex(drives.count() - 1);

        QCOMPARE(drives.currentText(), vanished);
        QCOMPARE(dirList().path(), f.folder());
        QVERIFY(item(QStringLiteral("alpha")) != nullptr);
        QTest::mouseClick(&button("Command1"), Qt::LeftButton);
        QCOMPARE(f.text("lblDir"), f.folder());
    }

    void minimisingKeepsTheMainWindowDisabled()
    {
        auto& dialog = open();
        dialog.showMinimized();
        runEventsFor(20);
        QVERIFY(!m_fixture->window->isEnabled());
        dialog.showNormal();
        QVERIFY(dialog.close());
        QVERIFY(m_fixture->window->isEnabled());
    }

    void theWholeJobRunsIntoTheChosenFolder()
    {
        auto& f = *m_fixture;
        f.pick(pickedIn(f.folder(), {f.source("b.bin", 3 << 20, 7).section(u'/', -1)}));
        open();
        openByDoubleClick(QStringLiteral("out"));
        QTest::mouseClick(&button("Command1"), Qt::LeftButton);
        f.click("cmdCopy");
        QVERIFY(f.runJobToEnd());
        QCOMPARE(f.text("lblFilesDone"), QStringLiteral("........Finished........"));
        QVERIFY(f.copiedWhole(QStringLiteral("a.bin")));
        QVERIFY(f.copiedWhole(QStringLiteral("b.bin")));
    }

private:
    QWidget& open()
    {
        m_fixture->click("cmdDirSelect");
        auto* dialog = m_fixture->window->destinationDialog()->window();
        if (dialog == nullptr || !dialog->isVisible())
            throw std::runtime_error("the destination dialog did not open");
        return *dialog;
    }
    QWidget& dialog() const { return *m_fixture->window->destinationDialog()->window(); }
    QPushButton& button(const char* name) const { return *dialog().findChild<QPushButton*>(name); }
    DirectoryListBox& dirList() const { return *dialog().findChild<DirectoryListBox*>("Dir1"); }
    DriveListBox& driveList() const { return *dialog().findChild<DriveListBox*>("Drive1"); }
    QTreeWidgetItem* item(const QString& text) const
    {
        for (QTreeWidgetItemIterator it(&dirList()); *it != nullptr; ++it)
            if ((*it)->text(0) == text)
                return *it;
        return nullptr;
    }
    void openByDoubleClick(const QString& text) const
    {
        auto* target = item(text);
        QVERIFY2(target != nullptr, qPrintable(text));
        auto& list = dirList();
        const auto where = list.visualItemRect(target).center();
        // A double-click arrives as press, release, double-click, release.
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, where);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, where);
    }

    std::unique_ptr<DialogFixture> m_fixture;
};

} // namespace

int runForm2Test(int argc, char** argv)
{
    return runTestObject<Form2Test>(argc, argv);
}

} // namespace brindlecap::testing

#include "form2_test.moc"
