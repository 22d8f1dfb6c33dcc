// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_waiter.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace brindlecap {

namespace {

constexpr int busyAfterMs = 500;

// What the user does with the pointer, the keys, a pen or a finger: each
// would run a handler of the program.
bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
        return true;
    default:
        return false;
    }
}

// A drag over the windows: its data lives only as long as the drag, so it
// cannot wait for the tick.
bool isDragAndDrop(QEvent::Type type)
{
    return type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::DragLeave ||
           type == QEvent::Drop;
}

} // namespace

WindowWaiter::WindowWaiter(QTimer& tickTimer)
    : m_tickTimer(tickTimer), m_eventLoop(*QAbstractEventDispatcher::instance())
{
    m_tickTimer.installEventFilter(this);
}

WindowWaiter::~WindowWaiter() = default;

void WindowWaiter::watchForStop(QWidget& window, QAbstractButton& stop)
{
    m_stopWindow = &window;
    m_stopButton = &stop;
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
    if (!m_holding)
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
            if (m_longWait)
                m_longWait(true);
        }
        // User input too: the filter keeps it for after the tick, and hears
        // a stop in it now.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (busy) {
        QApplication::restoreOverrideCursor();
        if (m_longWait)
            m_longWait(false);
    }
    // Input keeps being kept until handOnKeptEvents: what the user did after
    // the wait comes after what was done during it.
    m_waiting = false;
    m_holding = true;
}

bool WindowWaiter::eventFilter(QObject* watched, QEvent* event)
{
    if (!waiting())
        return false;
    // A tick is under way: Timer1 may not start another inside it.
    if (watched == &m_tickTimer && event->type() == QEvent::Timer) {
        m_tickDue = true;
        return true;
    }
    // These would run the program's own handlers (Form_Activate, the
    // unload of a dialog, the end of the program) inside the tick.
    const auto type = event->type();
    if ((type == QEvent::Close || type == QEvent::WindowActivate) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow()) {
        noteStopRequest(watched, *event);
        m_kept.push_back({watched, type, nullptr});
        event->ignore();
        return true;
    }
    if (isUserInput(type)) {
        noteStopRequest(watched, *event);
        m_kept.push_back({watched, type, std::unique_ptr<QEvent>(event->clone())});
        return true;
    }
    // Refused: the pointer shows that nothing can be dropped now.
    if (isDragAndDrop(type)) {
        event->ignore();
        return true;
    }
    return false;
}

void WindowWaiter::noteStopRequest(const QObject* watched, const QEvent& event)
{
    if (!m_stopWindow || !m_stopButton)
        return;
    const auto type = event.type();
    bool stop = false;
    if (type == QEvent::Close) {
        stop = watched == m_stopWindow;
    } else if (type == QEvent::Shortcut) {
        stop = watched == m_stopButton;
    } else if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) &&
               watched == m_stopWindow->windowHandle()) {
        // The pointer comes to the window first, in the window's own
        // coordinates: a press and a release over the button make a click.
        const auto& mouse = static_cast<const QMouseEvent&>(event);
        const bool over = mouse.button() == Qt::LeftButton &&
                          m_stopWindow->childAt(mouse.position().toPoint()) == m_stopButton;
        if (type == QEvent::MouseButtonPress)
            m_pressedOnStop = over;
        stop = type == QEvent::MouseButtonRelease && over &&
               (m_pressedOnStop || m_stopButton->isDown());
    } else if (type == QEvent::KeyRelease) {
        const auto& key = static_cast<const QKeyEvent&>(event);
        stop = key.key() == Qt::Key_Space && QApplication::focusWidget() == m_stopButton;
    }
    if (stop && m_stopButton->isEnabled())
        m_stopAsked = true;
}

void WindowWaiter::handOnKeptEvents()
{
    m_stopAsked = false;
    m_pressedOnStop = false;
    if (!m_holding)
        return;
    if (m_kept.empty()) {
        m_holding = false;
        qApp->removeEventFilter(this);
        deliverDueTick();
        return;
    }
    // From the main event loop, once the handler is over.
    QMetaObject::invokeMethod(this, &WindowWaiter::deliverKeptEvents, Qt::QueuedConnection);
}

void WindowWaiter::deliverKeptEvents()
{
    m_holding = false;
    qApp->removeEventFilter(this);
    // One after the other, so that nothing comes between them; a handler
    // among them that waits keeps what comes meanwhile for after itself.
    for (auto& [target, type, event] : std::exchange(m_kept, {})) {
        if (!target)
            continue;
        if (event)
            QCoreApplication::sendEvent(target, event.get());
        else if (type == QEvent::Close)
            static_cast<QWidget*>(target.data())->close();
        else {
            QEvent activate(static_cast<QEvent::Type>(type));
            QCoreApplication::sendEvent(target, &activate);
        }
    }
    deliverDueTick();
}

void WindowWaiter::deliverDueTick()
{
    // A chunk that takes longer than the timer's interval (2048 KB) would
    // otherwise wait for the timer's next firing after the one it missed.
    // Through the main event loop, so that what waits there (the drawing of
    // the window, new input) comes first; a timer stopped or started anew
    // since ignores it.
    if (std::exchange(m_tickDue, false) && m_tickTimer.isActive())
        QCoreApplication::postEvent(&m_tickTimer, new QTimerEvent(m_tickTimer.timerId()));
}

} // namespace brindlecap
