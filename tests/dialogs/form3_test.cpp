// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialog_test_support.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace brindlecap::testing {
namespace {

// Stands in for the desktop's web browser.
class UrlCatcher final : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

class Form3Test final : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_fixture = std::make_unique<DialogFixture>(); }
    void cleanup()
    {
        m_fixture.reset();
        DialogFixture::finishClosing();
    }

    void theDialogIsLaidOutAsDesigned()
    {
        auto& dialog = open();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Brindlecap - About"));
        QCOMPARE(dialog.size(), QSize(250, 114));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(!dialog.windowFlags().testAnyFlag(Qt::WindowMinMaxButtonsHint));
        QVERIFY(dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));

        const struct
        {
            const char* name;
            QRect geometry;
            QString text;
        } expected[] = {
            {"Shape1", {8, 8, 233, 97}, {}},
            {"Label1", {16, 16, 217, 17}, QStringLiteral("Brindlecap, by the Brindlecap team")},
            {"Label2", {16, 32, 217, 17}, QStringLiteral("Version " BRINDLECAP_VERSION ", 2026")},
            {"Label3", {16, 56, 217, 17}, QStringLiteral("Please send your comments to:")},
            {"Command1", {16, 72, 217, 25}, QStringLiteral("https://brindlecap.example.org/")},
        };
        for (const auto& control : expected) {
            const auto* widget = dialog.findChild<QWidget*>(control.name);
            QVERIFY2(widget != nullptr, control.name);
            QCOMPARE(widget->geometry(), control.geometry);
            if (const auto* label = qobject_cast<const QLabel*>(widget)) {
                QCOMPARE(label->text(), control.text);
                QCOMPARE(label->alignment(), Qt::AlignCenter);
                QCOMPARE(label->focusPolicy(), Qt::NoFocus);
            }
            if (control.name != QByteArrayLiteral("Shape1")) {
                QVERIFY(widget->font().bold());
                QCOMPARE(widget->font().pointSizeF(), 8.25);
            }
        }
        QCOMPARE(button().text(), expected[4].text);
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(QApplication::focusWidget(), &button());
    }

    void theFrameAndTheLabelsShowTheirColours()
    {
        const auto image = open().grab().toImage();
        const auto at = [&image](int x, int y) { return QColor(image.pixel(x, y)); };
        QCOMPARE(at(8, 50), QColor(0, 0, 255));      // the frame's left edge
        QCOMPARE(at(120, 104), QColor(0, 0, 255));   // and its bottom edge
        QCOMPARE(at(18, 18), QColor(0, 0, 0));       // credit line: black behind the text
        QCOMPARE(at(18, 34), QColor(255, 255, 255)); // version line: white
        bool yellowText = false;
        for (int x = 17; x < 233 && !yellowText; ++x)
            for (int y = 17; y < 32 && !yellowText; ++y)
                yellowText = at(x, y) == QColor(255, 255, 0);
        QVERIFY(yellowText);
    }

    void openingShowsTheDialogThenDisablesAndHidesTheMainWindow()
    {
        auto& f = *m_fixture;
        WindowEventLog log(*f.window);
        auto& dialog = open();
        QCOMPARE(log.entries.mid(0, 3),
                 QStringList({"dialog shown", "main disabled", "main hidden"}));
        QVERIFY(!f.window->isVisible());

        log.entries.clear();
        QVERIFY(dialog.close());
        QVERIFY(runEventsUntil([&] { return f.window->isActiveWindow(); }));
        QCOMPARE(log.entries.mid(0, 2), QStringList({"main enabled", "main shown"}));
        QVERIFY(log.entries.contains(QStringLiteral("main activated")));
        QVERIFY(f.mainWindowUsable());
        // The main window's return runs its activation, which focuses the
        // file button.
        QCOMPARE(QApplication::focusWidget(), f.control("cmdFileSelect"));
    }

    void escapeAndEnterLeaveTheDialogUp()
    {
        auto& dialog = open();
        for (const auto key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
            QTest::keyClick(&button(), key);
        QVERIFY(dialog.isVisible());
        QVERIFY(!m_fixture->window->isVisible());
        QVERIFY(!m_fixture->window->isEnabled());
    }

    void aCopyGoesOnBehindTheDialog()
    {
        auto& f = *m_fixture;
        f.pick(pickedIn(f.folder(), {f.source("big.bin", 24 << 20).section(u'/', -1)}));
        f.chooseDestination(f.out());
        f.selectBuffer("Option1");
        f.click("cmdCopy");
        QVERIFY(runEventsUntil([&] { return !f.text("lblByteDone").isEmpty(); }));

        auto& dialog = open();
        const auto shownAtOpening = f.text("lblByteDone");
        QVERIFY(runEventsUntil([&] { return f.text("lblByteDone") != shownAtOpening; }));
        QVERIFY(f.timer().isActive());
        QVERIFY(f.runJobToEnd());
        QVERIFY(dialog.isVisible());

        QVERIFY(dialog.close());
        QVERIFY(f.mainWindowUsable());
        QCOMPARE(f.text("lblFilesDone"), QStringLiteral("........Finished........"));
        QCOMPARE(f.text("lblPercent"), QStringLiteral("100 %"));
        QVERIFY(f.copiedWhole(QStringLiteral("big.bin")));
    }

    void theLinkGoesToTheDesktopOncePerClick()
    {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
        auto& dialog = open();
        for (int click = 0; click < 3; ++click)
            QTest::mouseClick(&button(), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

        QCOMPARE(catcher.opened.size(), 3);
        for (const auto& url : catcher.opened)
            QCOMPARE(url, QUrl(button().text()));
        QVERIFY(dialog.isVisible());
        QVERIFY(!m_fixture->window->isVisible());
    }

    void reopeningBuildsAFreshCentredDialog()
    {
        const QPointer<QWidget> first = &open();
        first->move(5, 5);
        QVERIFY(first->close());
        DialogFixture::finishClosing();
        QVERIFY(first.isNull());

        auto& second = open();
        QVERIFY(QTest::qWaitForWindowExposed(&second));
        QCOMPARE(second.frameGeometry().topLeft(), centredFramePosition(second));
    }

private:
    QWidget& open()
    {
        m_fixture->window->findChild<QAction*>("mnu_About")->trigger();
        auto* dialog = m_fixture->window->aboutDialog()->window();
        if (dialog == nullptr || !dialog->isVisible())
            throw std::runtime_error("the About dialog did not open");
        return *dialog;
    }
    QPushButton& button() const
    {
        return *m_fixture->window->aboutDialog()->window()->findChild<QPushButton*>("Command1");
    }

    std::unique_ptr<DialogFixture> m_fixture;
};

} // namespace

int runForm3Test(int argc, char** argv)
{
    return runTestObject<Form3Test>(argc, argv);
}

} // namespace brindlecap::testing

#include "form3_test.moc"
