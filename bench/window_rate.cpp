// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's copy rate with its real 1 ms timer, and the rate at which
// that timer fires on an idle window, for the benchmark report.
//
// Usage: bench_window timer SECONDS
//        bench_window copy SOURCE FOLDER KILOBYTES [TIMES]
// TIMES: Copy pressed again as each job ends, in the same window (a second
// try reads only what the first one missed); the figures add up.
// Prints one line of "key=value" pairs. Run it on the offscreen platform.
#include "Form1.h"
#include "buffer_options.h"
#include "open_dialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace {

using brindlecap::Form1;

QTimer& timerOf(Form1& window)
{
    return *window.findChild<QTimer*>(QStringLiteral("Timer1"));
}

// An empty timer of Timer1's kind beside an idle, shown window.
int measureTimer(Form1& window, double seconds)
{
    QTimer empty;
    empty.setInterval(timerOf(window).interval());
    empty.setTimerType(timerOf(window).timerType());
    long firings = 0;
    QObject::connect(&empty, &QTimer::timeout, [&firings] { ++firings; });
    QElapsedTimer clock;
    clock.start();
    empty.start();
    QTimer::singleShot(static_cast<int>(seconds * 1000), [] { QCoreApplication::quit(); });
    QApplication::exec();
    const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::printf("firings=%ld seconds=%.6f per_second=%.2f qt=%s\n", firings, elapsed,
                static_cast<double>(firings) / elapsed, qVersion());
    return 0;
}

// Sees each of Timer1's firings before the window's handler does.
class TickStart final : public QObject
{
public:
    QElapsedTimer clock;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Timer)
            clock.start();
        return false;
    }
};

// Queues the source, sets the folder as the destination dialog's Ok would,
// picks the buffer and presses Copy, `times` times; the clock runs from each
// press to the tick that ends its job. The longest tick is how long the
// window stood still at most.
int measureCopy(Form1& window, const QString& source, const QString& folder,
                const QString& kilobytes, int times)
{
    const auto option = brindlecap::bufferOptionFor(kilobytes.toStdString());
    if (!option || times < 1) {
        std::fprintf(stderr, "bench_window: no buffer of %s KB, or no copy\n",
                     qPrintable(kilobytes));
        return 2;
    }
    const auto pickerText = brindlecap::Module1::pickerTextFor({source});
    window.setPicker([pickerText](QWidget&, const QString&) { return pickerText; });
    window.findChild<QPushButton*>(QStringLiteral("cmdFileSelect"))->click();
    window.findChild<QRadioButton*>(QStringLiteral("Option%1").arg(*option + 1))->click();

    auto& timer = timerOf(window);
    long ticks = 0;
    qint64 longestTick = 0;
    TickStart tickStart;
    timer.installEventFilter(&tickStart);
    // Connected after the window's own handler, so it runs after each tick.
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        longestTick = std::max(longestTick, tickStart.clock.nsecsElapsed());
        if (!timer.isActive())
            QCoreApplication::quit();
    });
    qint64 elapsed = 0;
    for (int copy = 0; copy < times; ++copy) {
        window.findChild<QLabel*>(QStringLiteral("lblDir"))->setText(folder);
        window.findChild<QPushButton*>(QStringLiteral("cmdCopy"))->setEnabled(true);
        QElapsedTimer clock;
        clock.start();
        window.findChild<QPushButton*>(QStringLiteral("cmdCopy"))->click();
        QApplication::exec();
        elapsed += clock.nsecsElapsed();
    }
    std::int64_t recovered = 0;
    for (const auto& file : window.job().report().files)
        recovered += file.recoveredBytes;
    const auto percent = window.findChild<QLabel*>(QStringLiteral("lblPercent"))->text();
    std::printf("ticks=%ld seconds=%.6f longest_tick=%.6f recovered=%lld result=%s\n", ticks,
                static_cast<double>(elapsed) / 1e9, static_cast<double>(longestTick) / 1e9,
                static_cast<long long>(recovered),
                percent == QStringLiteral("100 %") ? "complete" : "incomplete");
    return percent == QStringLiteral("100 %") ? 0 : 3;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const auto arguments = QCoreApplication::arguments();
    Form1 window;
    window.show();
    if (arguments.size() == 3 && arguments[1] == QStringLiteral("timer"))
        return measureTimer(window, arguments[2].toDouble());
    if ((arguments.size() == 5 || arguments.size() == 6) && arguments[1] == QStringLiteral("copy"))
        return measureCopy(window, arguments[2], arguments[3], arguments[4],
                           arguments.size() == 6 ? arguments[5].toInt() : 1);
    std::fprintf(stderr,
                 "usage: bench_window timer SECONDS | copy SOURCE FOLDER KILOBYTES [TIMES]\n");
    return 2;
}
