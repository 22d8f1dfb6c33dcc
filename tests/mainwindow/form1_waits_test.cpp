// SPDX-License-Identifier: GPL-3.0-or-later
// While a drive struggles with a bad sector, the window stays drawn and
// takes no input: the read blocks a thread of its own, the window waits for
// it in an event loop that handles neither user input nor a tick, and what
// the user did meanwhile is handled after the tick, in order. On the FUSE
// medium, whose failing reads take long.
#include "form1_window_fixture.h"
#include "medium_pattern.h"
#include "test_mounts.h"
#include "window_waiter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <qpa/qwindowsysteminterface.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

namespace brindlecap::testing {
namespace {

constexpr std::int64_t sector = 2048;
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

// Counts the paint events a widget gets while a tick is under way.
class PaintWatch final : public QObject
{
public:
    PaintWatch(QWidget& widget, const TickWatch& ticks) : m_ticks(ticks)
    {
        widget.installEventFilter(this);
    }
    int paintedInTick = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_ticks.inTick)
            ++paintedInTick;
        return false;
    }

private:
    const TickWatch& m_ticks;
};

// A click as the window system delivers it: queued, handled when the event
// loop takes user input.
void queueClick(QWidget& button)
{
    auto* window = button.window()->windowHandle();
    const QPointF local = button.mapTo(button.window(), QPoint(5, 5));
    const QPointF global = button.mapToGlobal(QPoint(5, 5));
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
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
        PaintWatch paints(mark, ticks);
        bool clickQueued = false;
        bool stopHandledInTick = true;
        int ticksWhenClicked = -1;
        bool busyShown = false;
        QElapsedTimer waited;
        QObject::connect(f.control<QPushButton>("cmdStop"), &QPushButton::clicked,
                         [&] { stopHandledInTick = ticks.inTick; });
        // A clock of the test's own: it keeps firing while the window waits.
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (!f.window->waiter().waiting()) {
                waited.invalidate();
                return;
            }
            if (!waited.isValid())
                waited.start();
            mark.update(); // as an uncovered window would need
            if (!clickQueued) {
                queueClick(*f.control<QPushButton>("cmdStop"));
                clickQueued = true;
                ticksWhenClicked = ticks.ticks;
            }
            const auto* cursor = QApplication::overrideCursor();
            busyShown = busyShown || (waited.elapsed() > 700 && cursor != nullptr &&
                                      cursor->shape() == Qt::BusyCursor);
        });
        probe.start(20);
        f.click("cmdCopy");
        QVERIFY(f.runJobToEnd(20000));

        QVERIFY(clickQueued);
        QVERIFY2(!ticks.reentered, "a tick started inside another");
        QVERIFY2(paints.paintedInTick > 0, "the window was not drawn while the read blocked");
        QVERIFY2(!stopHandledInTick, "the Stop click was handled inside the tick");
        // Stop came right after the slow tick, as if the click had come
        // between two ticks: at most the one timer firing already due went
        // before it.
        QVERIFY(ticks.ticks - ticksWhenClicked <= 1);
        QVERIFY(busyShown);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        // The slow tick finished its chunk first: its bad sector is zeros
        // and every other byte the medium's.
        const auto copy = readFile((f.out() + QStringLiteral("/disc.bin")).toStdString());
        QCOMPARE(static_cast<std::int64_t>(copy.size()), (ticks.ticks) * chunk);
        for (std::int64_t at = 0; at < std::ssize(copy); ++at) {
            const bool bad = at >= 2 * chunk + 4 * sector && at < 2 * chunk + 5 * sector;
            QCOMPARE(copy[static_cast<std::size_t>(at)], bad ? std::byte{0} : mediumByte(at, 7));
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
        QCOMPARE(f.list().item(0)->toolTip().left(20), QStringLiteral("Copied, but 10,240 b"));
    }

    void theWorkersWakeEndsAWaitThatNothingElseWouldEnd()
    {
        QTimer stoppedTick;
        WindowWaiter waiter(stoppedTick);
        std::atomic<bool> over = false;
        // After the busy cursor is up, the wait has no timer left to wake it.
        std::thread worker([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            over = true;
            waiter.wake();
        });
        bool rescuedByGuard = false;
        QTimer::singleShot(10000, [&] { rescuedByGuard = true; });
        waiter.waitUntil([&] { return over.load(); });
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
