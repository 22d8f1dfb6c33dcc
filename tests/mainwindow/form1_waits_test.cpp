// SPDX-License-Identifier: GPL-3.0-or-later
// While a drive struggles with a bad sector, the window stays drawn and
// takes no input: the read blocks a thread of its own, the window waits for
// it in an event loop that handles neither user input nor a tick, and what
// the user did meanwhile is handled after the tick, in order. Stop and the
// close box end the tick's reads at the next one. On the FUSE medium, whose
// failing reads take long.
#include "form1_window_fixture.h"
#include "medium_pattern.h"
#include "queue_marks.h"
#include "test_mounts.h"
#include "window_waiter.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <qpa/qwindowsysteminterface.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

namespace brindlecap::testing {
namespace {

constexpr std::int64_t chunk = 32 * 1024;
constexpr int slowReadMs = 1500;

// Watches the ticks from outside: when one starts, when it ends, and whether
// one ever started inside another.
class TickWatch final : public QObject
{
public:
    explicit TickWatch(Form1& window) : m_window(window)
    {
        auto& timer = *window.findChild<QTimer*>("Timer1");
        // Installed after the window's own filter, so it sees every firing
        // first; one that comes while the window waits is no tick.
        timer.installEventFilter(this);
        // Connected after the window's handler: runs when a tick is over.
        QObject::connect(&timer, &QTimer::timeout, this, [this] { inTick = false; });
    }

    bool inTick = false;
    bool reentered = false;
    int ticks = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Timer && !m_window.waiter().waiting()) {
            reentered = reentered || inTick;
            inTick = true;
            ++ticks;
        }
        return false;
    }

private:
    Form1& m_window;
};

// A click as the window system delivers it: queued, handled when the event
// loop takes user input.
void queueClick(QWidget& widget, QPoint at = QPoint(5, 5))
{
    // Far apart in time from any click before, as a person's clicks are:
    // two clicks in one place within the double-click time would make one
    // double click.
    static ulong time = 1UL << 30;
    time += 10000;
    auto* window = widget.window()->windowHandle();
    const QPointF local = widget.mapTo(widget.window(), at);
    const QPointF global = widget.mapToGlobal(at);
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, time, local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, time + 50, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
}

// The medium's disc.bin queued, the scratch folder's "out" chosen, 32 KB.
void queueAtSmallestBuffer(const WindowFixture& f, const MountedMedium& medium)
{
    f.pick(Module1::pickerTextFor({QString::fromStdString(medium.path("disc.bin"))}));
    f.chooseDestination(f.out());
    f.selectBuffer("Option1");
}

class Form1WaitsTest final : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_fixture = std::make_unique<WindowFixture>(); }
    void cleanup() { m_fixture.reset(); }

    void aSlowReadKeepsTheWindowDrawnAndTakesNoInputUntilItsTickEnds()
    {
        auto& f = *m_fixture;
        // One bad sector in chunk 3 of 8: its read fails after 1.5 s.
        std::ostringstream description;
        description << "file disc.bin " << 8 * chunk << " 7\ndirect-io\ndelay " << slowReadMs
                    << "\nhard disc.bin " << 2 * chunk + 4 * sector << ' ' << 2 * chunk + 5 * sector
                    << '\n';
        MountedMedium medium(f.scratch.path(), description.str());
        if (!medium.unavailable().empty())
            QSKIP(medium.unavailable().c_str());
        queueAtSmallestBuffer(f, medium);

        TickWatch ticks(*f.window);
        auto& mark = *f.control<QLabel>("lblMark");
        PaintWatch paints(mark, [&] { return ticks.inTick; });
        bool clickQueued = false;
        bool stopHandledInTick = true;
        int ticksWhenClicked = -1;
        QObject::connect(f.control<QPushButton>("cmdStop"), &QPushButton::clicked,
                         [&] { stopHandledInTick = ticks.inTick; });
        // A clock of the test's own: it keeps firing while the window waits.
        // The click comes once the pointer says the window waits on the
        // slow read, not in an earlier tick's short waits.
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (!f.window->waiter().waiting())
                return;
            mark.update(); // as an uncovered window would need
            const auto* cursor = QApplication::overrideCursor();
            if (!clickQueued && cursor != nullptr && cursor->shape() == Qt::BusyCursor) {
                queueClick(*f.control<QPushButton>("cmdStop"));
                clickQueued = true;
                ticksWhenClicked = ticks.ticks;
            }
        });
        probe.start(20);
        f.click("cmdCopy");
        QVERIFY(f.runJobToEnd(20000));

        QVERIFY2(clickQueued, "the busy pointer never showed while the read blocked");
        QVERIFY2(!ticks.reentered, "a tick started inside another");
        QVERIFY2(paints.count > 0, "the window was not drawn while the read blocked");
        QVERIFY2(!stopHandledInTick, "the Stop click was handled inside the tick");
        // Stop came right after the slow tick, as if the click had come
        // between two ticks: at most the one timer firing already due went
        // before it.
        QVERIFY(ticks.ticks - ticksWhenClicked <= 1);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        // The click ended the slow tick's reads at its failing one: the copy
        // holds every byte read before it, and zeros from there on.
        const auto copy = readFile((f.out() + QStringLiteral("/disc.bin")).toStdString());
        QCOMPARE(static_cast<std::int64_t>(copy.size()), (ticks.ticks) * chunk);
        for (std::int64_t at = 0; at < std::ssize(copy); ++at) {
            const bool unread = at >= 2 * chunk + 4 * sector;
            QCOMPARE(copy[static_cast<std::size_t>(at)], unread ? std::byte{0} : mediumByte(at, 7));
        }
    }

    void aJobAcrossSlowReadsCopiesExactlyWhatTheEngineAloneCopies()
    {
        auto& f = *m_fixture;
        std::ostringstream description;
        description << "file disc.bin " << 6 * chunk + 100 << " 9\ndirect-io\ndelay 300\n"
                    << "hard disc.bin " << chunk << ' ' << chunk + sector << '\n'
                    << "hard disc.bin " << 4 * chunk - sector << ' ' << 4 * chunk + 3 * sector
                    << '\n';
        MountedMedium medium(f.scratch.path(), description.str());
        if (!medium.unavailable().empty())
            QSKIP(medium.unavailable().c_str());
        queueAtSmallestBuffer(f, medium);
        f.click("cmdCopy");
        QVERIFY(f.runJobToEnd(20000));
        QCOMPARE(f.text("lblPercent"), QStringLiteral("100 %"));
        const auto copy = readFile((f.out() + QStringLiteral("/disc.bin")).toStdString());
        QCOMPARE(static_cast<std::int64_t>(copy.size()), 6 * chunk + 100);
        for (std::int64_t at = 0; at < 6 * chunk + 100; ++at) {
            const bool bad = (at >= chunk && at < chunk + sector) ||
                             (at >= 4 * chunk - sector && at < 4 * chunk + 3 * sector);
            QCOMPARE(copy[static_cast<std::size_t>(at)], bad ? std::byte{0} : mediumByte(at, 9));
        }
        QCOMPARE(shown(f.list().item(0)->toolTip()).left(20),
                 QStringLiteral("Copied, but 10,240 b"));
    }

    // Stop, or the close box, while a 2048 KB chunk struggles through a long
    // bad stretch: no read starts after the click, the chunk keeps what it
    // read before the stretch, and what the user did is handled after the
    // tick, in the order it was done (Stop, then the Help menu). The same
    // holds for a copy made again, which reads the stretch sector by sector.
    void stopAndTheCloseBoxEndTheReadsOfAStrugglingChunk_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<bool>("again");
        // The close box comes last: the window it closes ends the event
        // loops that are running.
        QTest::newRow("Stop") << false << false;
        QTest::newRow("Stop, the copy made again") << false << true;
        QTest::newRow("close box") << true << false;
    }

    void stopAndTheCloseBoxEndTheReadsOfAStrugglingChunk()
    {
        QFETCH(bool, closeBox);
        QFETCH(bool, again);
        auto& f = *m_fixture;
        constexpr std::int64_t stretch = 512 * 1024;
        const auto described = [&](int delayMs) {
            std::ostringstream description;
            description << "file disc.bin " << (4 << 20) << " 7\ndirect-io\ndelay " << delayMs
                        << "\nhard disc.bin " << stretch << ' ' << stretch + 400 * 1024 << '\n';
            return description.str();
        };
        MountedMedium medium(f.scratch.path(), described(again ? 0 : 400));
        if (!medium.unavailable().empty())
            QSKIP(medium.unavailable().c_str());
        f.pick(Module1::pickerTextFor({QString::fromStdString(medium.path("disc.bin"))}));
        f.chooseDestination(f.out());
        f.selectBuffer("Option7");
        if (again) {
            f.click("cmdCopy");
            QVERIFY(f.runJobToEnd());
            medium.redescribe(described(400));
            f.chooseDestination(f.out());
        }
        const auto failingBefore = medium.failingReads();
        auto& help = *f.window->findChild<QMenu*>("mnu_Help");
        bool helpShown = false;
        bool helpShownAfterStop = false;
        QObject::connect(&help, &QMenu::aboutToShow, [&] {
            helpShown = true;
            helpShownAfterStop = !f.timer().isActive();
        });
        long failingAtClick = -1;
        QString waitingText;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (failingAtClick >= 0 || !f.window->waiter().waiting() ||
                medium.failingReads() - failingBefore < 2)
                return;
            // Two failing reads in: a wait of over half a second.
            const auto* entry = f.list().item(0);
            waitingText = shown(entry->toolTip()) + u'|' +
                          entry->data(Qt::AccessibleDescriptionRole).toString();
            failingAtClick = medium.failingReads();
            if (closeBox) {
                QWindowSystemInterface::handleCloseEvent<
                    QWindowSystemInterface::AsynchronousDelivery>(f.window->windowHandle());
            } else {
                queueClick(*f.control<QPushButton>("cmdStop"));
                auto& menus = *f.window->findChild<QMenuBar*>("menubar");
                queueClick(menus, menus.actionGeometry(help.menuAction()).center());
            }
        });
        probe.start(20);
        f.click("cmdCopy");
        QVERIFY(
            runEventsUntil([&] { return !f.timer().isActive() || !f.window->isVisible(); }, 20000));
        QVERIFY(
            runEventsUntil([&] { return closeBox ? !f.window->isVisible() : helpShown; }, 5000));
        help.close();

        QVERIFY(failingAtClick - failingBefore >= 2);
        // The read under way when the click came, and none after it.
        QVERIFY2(medium.failingReads() <= failingAtClick + 1,
                 qPrintable(QStringLiteral("%1 failing reads after the click")
                                .arg(medium.failingReads() - failingAtClick)));
        const auto waiting = inProgressMark(true).text;
        QCOMPARE(waitingText, waiting + u'|' + waiting);
        QVERIFY(closeBox || helpShownAfterStop);
        // The first chunk's (and all the first copy rescued); a window
        // closed in a test leaves its timer to copy on, where the program
        // would have ended.
        const auto copy = readFile((f.out() + QStringLiteral("/disc.bin")).toStdString());
        QVERIFY(std::ssize(copy) >= stretch);
        for (std::int64_t at = 0; at < std::min<std::int64_t>(std::ssize(copy), 2 << 20); ++at) {
            const bool rescued = at < stretch || (again && at >= stretch + 400 * 1024);
            QCOMPARE(copy[static_cast<std::size_t>(at)],
                     rescued ? mediumByte(at, 7) : std::byte{0});
        }
    }

    void theWorkersWakeEndsAWaitThatNothingElseWouldEnd()
    {
        QTimer stoppedTick;
        WindowWaiter waiter(stoppedTick);
        std::atomic<bool> workDone = false;
        // After the busy cursor is up, the wait has no timer left to wake it.
        std::thread worker([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            workDone = true;
            waiter.wake();
        });
        bool rescuedByGuard = false;
        QTimer::singleShot(10000, [&] { rescuedByGuard = true; });
        waiter.waitUntil([&] { return workDone.load(); });
        worker.join();
        QVERIFY2(!rescuedByGuard, "the wake from the worker thread did not end the wait");
    }

private:
    std::unique_ptr<WindowFixture> m_fixture;
};

} // namespace

int runForm1WaitsTest(int argc, char** argv)
{
    return runTestObject<Form1WaitsTest>(argc, argv);
}

} // namespace brindlecap::testing

#include "form1_waits_test.moc"
