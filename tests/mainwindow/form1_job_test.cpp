// SPDX-License-Identifier: GPL-3.0-or-later
#include "form1_window_fixture.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>

namespace brindlecap::testing {
namespace {

struct Enabled
{
    bool fileSelect, dirSelect, options, copy, stop, timer;
    friend bool operator==(const Enabled&, const Enabled&) = default;
};

constexpr Enabled idle{true, false, true, false, false, false};
constexpr Enabled filesQueued{true, true, true, false, false, false};
constexpr Enabled ready{true, true, true, true, false, false};
constexpr Enabled running{false, false, false, false, true, true};
constexpr Enabled over{false, false, false, false, false, false};

class Form1JobTest final : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_fixture = std::make_unique<WindowFixture>(); }
    void cleanup() { m_fixture.reset(); }

    void clicksLeadThroughTheSixStates()
    {
        auto& f = *m_fixture;
        QVERIFY(state() == idle);
        f.pick(pickedIn(f.folder(), {f.source("a.bin", 2 << 20).section(u'/', -1)}));
        QVERIFY(state() == filesQueued);
        f.chooseDestination(f.out());
        QVERIFY(state() == ready);
        f.selectBuffer("Option1");
        f.click("cmdCopy");
        QVERIFY(state() == running);
        QCOMPARE(f.text("lblFile"), f.folder() + QStringLiteral("/a.bin"));
        QCOMPARE(f.text("lblFileSize"), QStringLiteral("2,097,152"));
        f.click("cmdCopy"); // disabled: nothing happens
        QVERIFY(runEventsUntil([&] { return !f.text("lblByteDone").isEmpty(); }));
        f.click("cmdStop");
        QVERIFY(state() == over);
        const auto shown = f.text("lblByteDone");
        runEventsFor(50);
        QCOMPARE(f.text("lblByteDone"), shown);

        // Stop, then New: Idle again, the queue kept, "256" chosen again,
        // the files-done counter kept, and the window back in the middle.
        f.window->move(f.centredPosition() + QPoint(40, 30));
        f.control<QAction>("mnu_New")->trigger();
        QVERIFY(state() == idle);
        QCOMPARE(f.list().count(), 1);
        QVERIFY(f.control<QRadioButton>("Option4")->isChecked());
        QCOMPARE(f.text("lblFilesDone"), QStringLiteral("1 From 1"));
        QCOMPARE(f.text("lblByteDone"), QString());
        QCOMPARE(f.window->pos(), f.centredPosition());
    }

    void newInIdleOnlyBringsTheWindowBack()
    {
        auto& f = *m_fixture;
        f.window->move(f.centredPosition() - QPoint(25, 25));
        f.control<QAction>("mnu_New")->trigger();
        QCOMPARE(f.window->pos(), f.centredPosition());
        QVERIFY(state() == idle);
    }

    void aWholeJobCopiesEveryFileWithTheRealTimer()
    {
        auto& f = *m_fixture;
        f.source("first.bin", 100001, 1);
        f.source("second file.bin", 300000, 2);
        f.source("third.bin", 0, 3);
        f.pick(pickedIn(f.folder(), {"first.bin", "second file.bin", "third.bin"}));
        f.chooseDestination(f.out());
        f.selectBuffer("Option1");

        // Watch every tick, right after the window's own handler has run,
        // and the paints of a label that changes at each: at most one in
        // 16 ms, the last one of its last text.
        QStringList filesDone;
        QObject::connect(&f.timer(), &QTimer::timeout, f.window.get(),
                         [&] { filesDone << f.text("lblFilesDone"); });
        auto* bytesDone = f.control<QLabel>("lblByteDone");
        PaintWatch painted(*bytesDone);
        QElapsedTimer copying;
        copying.start();
        f.click("cmdCopy");
        QVERIFY(f.runJobToEnd());
        const auto tookMs = copying.elapsed();
        QVERIFY2(painted.count <= tookMs / 16 + 2,
                 qPrintable(QStringLiteral("%1 paints in %2 ms").arg(painted.count).arg(tookMs)));
        QVERIFY(runEventsUntil([&] { return painted.lastText == bytesDone->text(); }, 1000));

        QVERIFY(f.copiedWhole("first.bin"));
        QVERIFY(f.copiedWhole("second file.bin"));
        QVERIFY(f.copiedWhole("third.bin"));
        for (const auto* label : {"lblByteDone", "lblTotal", "lblFilesDone"})
            QCOMPARE(f.text(label), QStringLiteral("........Finished........"));
        QCOMPARE(f.text("lblPercent"), QStringLiteral("100 %"));
        QCOMPARE(f.text("lblFile"), f.folder() + QStringLiteral("/third.bin"));
        QVERIFY(state() == over);
        // 4 chunks; 10 more, the first with the move to file 2; the empty
        // file 3 with its move; the finish. The counter trails each move, so
        // "3 From 3" stands only until the same tick finishes.
        QStringList expected;
        for (int i = 0; i < 5; ++i)
            expected << "1 From 3";
        for (int i = 0; i < 10; ++i)
            expected << "2 From 3";
        expected << "........Finished........";
        QCOMPARE(filesDone, expected);
    }

    void newDuringAJobWritesNoFurtherByte()
    {
        auto& f = *m_fixture;
        f.readyOneFile("big.bin", 64 << 20);
        int ticks = 0;
        QObject::connect(&f.timer(), &QTimer::timeout, f.window.get(), [&] {
            if (++ticks == 2)
                f.control<QAction>("mnu_New")->trigger();
        });
        f.click("cmdCopy");
        QVERIFY(runEventsUntil([&] { return ticks >= 2; }));
        QVERIFY(state() == idle);
        const auto copy = (f.out() + QStringLiteral("/big.bin")).toStdString();
        const auto written = std::filesystem::file_size(copy);
        runEventsFor(50);
        QCOMPARE(std::filesystem::file_size(copy), written);
        QCOMPARE(written, 2u * 32768u);
        QCOMPARE(ticks, 2);
    }

    void removingEntriesDuringAJobSkipsNothingStillQueued_data()
    {
        QTest::addColumn<int>("removeAt"); // relative to the file being copied
        QTest::addColumn<QStringList>("copied");
        QTest::addColumn<QStringList>("notCopied");
        QTest::newRow("before") << -1 << QStringList{"a", "b", "c", "d"} << QStringList{};
        QTest::newRow("at") << 0 << QStringList{"a", "b", "c", "d"} << QStringList{};
        QTest::newRow("after") << 1 << QStringList{"a", "b", "d"} << QStringList{"c"};
    }

    void removingEntriesDuringAJobSkipsNothingStillQueued()
    {
        QFETCH(int, removeAt);
        QFETCH(QStringList, copied);
        QFETCH(QStringList, notCopied);
        auto& f = *m_fixture;
        for (const auto* name : {"a", "b", "c", "d"})
            f.source(name, 3 * 32768, static_cast<std::uint8_t>(name[0]));
        f.pick(pickedIn(f.folder(), {"a", "b", "c", "d"}));
        f.chooseDestination(f.out());
        f.selectBuffer("Option1");
        // Once the job is on "b" (index 1), remove an entry through the popup.
        bool removed = false;
        QObject::connect(&f.timer(), &QTimer::timeout, f.window.get(), [&] {
            if (removed || f.text("lblFile") != f.folder() + QStringLiteral("/b"))
                return;
            removed = true;
            f.list().setCurrentRow(1 + removeAt);
            f.control<QAction>("mnu_Remove")->trigger();
        });
        f.click("cmdCopy");
        QVERIFY(f.runJobToEnd());
        QVERIFY(removed);
        QCOMPARE(f.list().count(), 3);
        for (const auto& name : copied)
            QVERIFY2(f.copiedWhole(name), qPrintable(name));
        for (const auto& name : notCopied)
            QVERIFY(!std::filesystem::exists((f.out() + u'/' + name).toStdString()));
        QCOMPARE(f.text("lblPercent"), QStringLiteral("100 %"));
    }

private:
    Enabled state() const
    {
        auto& f = *m_fixture;
        bool options = true;
        bool noOption = true;
        for (const auto* name :
             {"Option1", "Option2", "Option3", "Option4", "Option5", "Option6", "Option7"}) {
            options = options && f.control(name)->isEnabled();
            noOption = noOption && !f.control(name)->isEnabled();
        }
        if (!options && !noOption)
            return {true, true, false, true, true, true}; // the options disagree: no state
        return {f.control("cmdFileSelect")->isEnabled(),
                f.control("cmdDirSelect")->isEnabled(),
                options,
                f.control("cmdCopy")->isEnabled(),
                f.control("cmdStop")->isEnabled(),
                f.timer().isActive()};
    }

    std::unique_ptr<WindowFixture> m_fixture;
};

} // namespace

int runForm1JobTest(int argc, char** argv)
{
    return runTestObject<Form1JobTest>(argc, argv);
}

} // namespace brindlecap::testing

#include "form1_job_test.moc"
