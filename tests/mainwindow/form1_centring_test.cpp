// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1.h"
#include "gui_test_support.h"
#include "window_geometry.h"

#include <QScreen>
#include <QtTest>

namespace brindlecap::testing {
namespace {

// Runs on a 640 x 480 screen, smaller than the window.
class Form1CentringTest final : public QObject
{
    Q_OBJECT

private slots:
    void theArithmeticKeepsHalvesAndGoesOffScreen()
    {
        QCOMPARE(centredEdge(9600, 9225), 187.5f);
        QCOMPARE(centredEdge(7200, 8355), -577.5f);
        QCOMPARE(centredEdge(19200, 9225), 4987.5f);
    }

    void aWindowTallerThanTheScreenStandsAboveItsTopEdge()
    {
        QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 640, 480));
        Form1 window;
        // 187.5 and -577.5 twips: 12.5 and -38.5 pixels, to the nearest pixel.
        QCOMPARE(window.pos(), QPoint(13, -39));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.move(100, 100);
        window.mnu_New_Click();
        QCOMPARE(window.pos(), QPoint(13, -39));
    }
};

} // namespace

int runForm1CentringTest(int argc, char** argv)
{
    return runTestObject<Form1CentringTest>(argc, argv);
}

} // namespace brindlecap::testing

#include "form1_centring_test.moc"
