// SPDX-License-Identifier: GPL-3.0-or-later
#include "form1_window_fixture.h"
#include "open_dialog.h"
#include "picker_text.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace brindlecap::testing {
namespace {

using Paths = std::vector<std::string>;

class Form1QueueTest final : public QObject
{
    Q_OBJECT

private slots:
    void pickerTextsSplitIntoFullPaths()
    {
        using namespace std::string_literals;
        QCOMPARE(splitPickerText("/data/a.bin\0\0"s), Paths{"/data/a.bin"});
        QCOMPARE(splitPickerText("/data\0a.bin\0b.bin\0\0"s),
                 (Paths{"/data/a.bin", "/data/b.bin"}));
        QCOMPARE(splitPickerText("/\0a.bin\0b.bin\0\0"s), (Paths{"/a.bin", "/b.bin"}));
        QCOMPARE(splitPickerText("/data/\0a\0\0b\0tail"s), (Paths{"/data/a", "/data/b"}));
        QCOMPARE(splitPickerText("/my data\0ü ñ.bin\0\0"s), Paths{"/my data/ü ñ.bin"});
        QVERIFY(!splitPickerText(""));
        QVERIFY(!splitPickerText("/data/a.bin"));
        QCOMPARE(splitPickerText("/data\0"s), Paths{});
        // Found by fuzzing: an empty single path used to be queued as "".
        QCOMPARE(splitPickerText("\0\0"s), Paths{});
        QCOMPARE(splitPickerText("\0\0\0\0\tl"s), Paths{});
    }

    void chosenFilesBecomeThePickerText()
    {
        const QChar nul(u'\0');
        QCOMPARE(Module1::pickerTextFor({}), QString());
        QCOMPARE(Module1::pickerTextFor({"/d/a"}), QString("/d/a") + nul + nul);
        QCOMPARE(Module1::pickerTextFor({"/d/a", "/d/b c"}),
                 QString("/d") + nul + "a" + nul + "b c" + nul + nul);
        QCOMPARE(Module1::pickerTextFor({"/a", "/b"}),
                 QString("/") + nul + "a" + nul + "b" + nul + nul);
        // A file from another folder stays reachable from the first one's.
        const auto text = Module1::pickerTextFor({"/d/a", "/e/b"});
        const auto paths = splitPickerText(text.toStdString());
        QVERIFY(paths && paths->size() == 2);
        QCOMPARE(QFileInfo(QString::fromStdString(paths->at(1))).absoluteFilePath(),
                 QStringLiteral("/e/b"));
    }

    void selectionsAppendInOrderKeepDuplicatesAndSurviveNew()
    {
        WindowFixture f;
        f.pick(QString());
        QCOMPARE(f.list().count(), 0);
        QVERIFY2(!f.control("cmdDirSelect")->isEnabled(), "a cancelled pick enables nothing");

        f.pick(pickedIn(QStringLiteral("/media/disc"), {"clip one.avi"}));
        f.pick(pickedIn(QStringLiteral("/media/disc"), {"b.bin", "ü.bin"}));
        f.pick(pickedIn(QStringLiteral("/media/disc"), {"clip one.avi"}));
        f.pick(QString()); // cancelled later: the state stays
        QVERIFY(f.control("cmdDirSelect")->isEnabled());
        QStringList entries;
        for (int i = 0; i < f.list().count(); ++i)
            entries << f.list().item(i)->text();
        const QStringList expected{"/media/disc/clip one.avi", "/media/disc/b.bin",
                                   "/media/disc/ü.bin", "/media/disc/clip one.avi"};
        QCOMPARE(entries, expected);

        f.control<QAction>("mnu_New")->trigger();
        QCOMPARE(f.list().count(), 4);
        QVERIFY(!f.control("cmdDirSelect")->isEnabled());
    }

    void aLongSelectionIsQueuedWhole()
    {
        WindowFixture f;
        QStringList names;
        for (int i = 0; i < 300; ++i)
            names << QStringLiteral("a rather long file name number %1.bin").arg(i);
        f.pick(pickedIn(QStringLiteral("/media/disc"), names));
        QCOMPARE(f.list().count(), 300);
        QCOMPARE(f.list().item(299)->text(), QStringLiteral("/media/disc/") + names.back());
    }

    void thePopupNeedsTheRightButtonAndASelectedEntry()
    {
        WindowFixture f;
        f.pick(pickedIn(QStringLiteral("/d"), {"a", "b", "c", "d"}));
        auto* viewport = f.list().viewport();
        auto* popup = f.control<QMenu>("mnu_Popup");
        const auto onThird = f.list().visualItemRect(f.list().item(2)).center();
        const auto belowAll = QPoint(onThird.x(), viewport->height() - 5);

        QTest::mouseClick(viewport, Qt::RightButton, {}, belowAll);
        QVERIFY2(!popup->isVisible(), "nothing is selected");
        QTest::mouseClick(viewport, Qt::LeftButton, {}, onThird);
        QCOMPARE(f.list().currentRow(), 2);
        QVERIFY2(!popup->isVisible(), "the left button shows no menu");
        QTest::mouseClick(viewport, Qt::RightButton, {}, onThird);
        QTRY_VERIFY(popup->isVisible());
        popup->hide();

        f.control<QAction>("mnu_Remove")->trigger();
        QCOMPARE(f.list().count(), 3);
        QCOMPARE(f.list().item(2)->text(), QStringLiteral("/d/d"));
        f.list().clearSelection();
        f.control<QAction>("mnu_Remove")->trigger();
        QCOMPARE(f.list().count(), 3);
    }

    // From a file manager, as the picker would queue the same files; a folder
    // or anything not on this computer refuses the whole drop.
    void aDropOfFilesQueuesThemAsThePickerWould()
    {
        WindowFixture f;
        const auto a = f.source("a.bin", 10);
        const auto b = f.source("b.bin", 10);
        const auto drop = [&](const QList<QUrl>& urls) {
            QMimeData data;
            data.setUrls(urls);
            auto* viewport = f.list().viewport();
            const auto at = viewport->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &enter);
            QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &dropped);
            return enter.isAccepted();
        };
        QVERIFY(!drop({QUrl::fromLocalFile(f.folder())}));
        QVERIFY(!drop({QUrl::fromLocalFile(a), QUrl(QStringLiteral("https://example.org/b.bin"))}));
        QCOMPARE(f.list().count(), 0);
        QVERIFY(!f.control("cmdDirSelect")->isEnabled());
        QVERIFY(drop({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)}));
        QCOMPARE(f.list().count(), 2);
        QCOMPARE(f.list().item(0)->text(), a);
        QCOMPARE(f.list().item(1)->text(), b);
        QVERIFY(f.control("cmdDirSelect")->isEnabled());
    }

    void theRealDialogQueuesWhatTheUserChose()
    {
        WindowFixture f;
        f.source("a.bin", 10);
        f.source("no dot", 10);
        QString title, startFolder;
        QStringList filters;
        QList<QUrl> places;
        QTimer driver;
        driver.setInterval(10);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            if (title.isEmpty()) {
                title = dialog->windowTitle();
                startFolder = dialog->directory().absolutePath();
                filters = dialog->nameFilters();
                places = dialog->sidebarUrls();
                dialog->setDirectory(f.folder());
            }
            // Typed, as a user would: a selection made in the file list can
            // be lost while the dialog is still reading the folder.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (name == nullptr)
                return;
            name->setText(QStringLiteral("\"a.bin\" \"no dot\""));
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        });
        driver.start();
        f.window->setPicker(Module1::ShowOpenDialog);
        f.click("cmdFileSelect");
        driver.stop();
        QCOMPARE(title, QStringLiteral("Brindlecap"));
        QCOMPARE(startFolder, QCoreApplication::applicationDirPath());
        QCOMPARE(filters, QStringList{"All Files (*.*) (*)"});
        QVERIFY(!places.isEmpty());
        QCOMPARE(places.front(), QUrl::fromLocalFile(QDir::homePath()));
        QCOMPARE(f.list().count(), 2);
        QCOMPARE(f.list().item(0)->text(), f.folder() + QStringLiteral("/a.bin"));
        QCOMPARE(f.list().item(1)->text(), f.folder() + QStringLiteral("/no dot"));
        QVERIFY(f.control("cmdDirSelect")->isEnabled());
    }
};

} // namespace

int runForm1QueueTest(int argc, char** argv)
{
    return runTestObject<Form1QueueTest>(argc, argv);
}

} // namespace brindlecap::testing

#include "form1_queue_test.moc"
