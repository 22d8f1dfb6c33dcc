// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_waiter.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QWidget>

namespace brindlecap {

namespace {

constexpr int busyAfterMs = 500;

} // namespace

WindowWaiter::WindowWaiter(QTimer& tickTimer)
    : m_tickTimer(tickTimer), m_eventLoop(*QAbstractEventDispatcher::instance())
{
    m_tickTimer.installEventFilter(this);
}

void WindowWaiter::wake()
{
    // Called from the worker thread. wakeUp() is thread-safe and hands
    // nothing over: the waiting loop wakes and reads the finished flag.
    m_eventLoop.wakeUp();
}

void WindowWaiter::waitUntil(const std::function<bool()>& finished)
{
    m_waiting = true;
    qApp->installEventFilter(this);
    QElapsedTimer waited;
    waited.start();
    QTimer busySoon; // wakes the loop when the busy cursor is due
    busySoon.setSingleShot(true);
    busySoon.start(busyAfterMs);
    bool busy = false;
    while (!finished()) {
        if (!busy && waited.elapsed() >= busyAfterMs) {
            QApplication::setOverrideCursor(Qt::BusyCursor);
            busy = true;
        }
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    }
    if (busy)
        QApplication::restoreOverrideCursor();
    qApp->removeEventFilter(this);
    m_waiting = false;
}

bool WindowWaiter::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_waiting)
        return false;
    // A tick is under way: Timer1 may not start another inside it.
    if (watched == &m_tickTimer && event->type() == QEvent::Timer)
        return true;
    // These would run the program's own handlers (Form_Activate, the
    // unload of a dialog, the end of the program) inside the tick.
    const auto type = event->type();
    if ((type == QEvent::Close || type == QEvent::WindowActivate) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow()) {
        m_kept.push_back({watched, type});
        event->ignore();
        return true;
    }
    return false;
}

void WindowWaiter::handOnKeptEvents()
{
    for (const auto& [target, type] : std::exchange(m_kept, {})) {
        if (!target)
            continue;
        if (type == QEvent::Close)
            QMetaObject::invokeMethod(static_cast<QWidget*>(target.data()), &QWidget::close,
                                      Qt::QueuedConnection);
        else
            QCoreApplication::postEvent(target, new QEvent(static_cast<QEvent::Type>(type)));
    }
}

} // namespace brindlecap
