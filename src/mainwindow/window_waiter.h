// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "background_file_access.h"

#include <QAbstractEventDispatcher>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QAbstractButton;
class QWidget;

namespace brindlecap {

// Waits for a file operation that a struggling drive holds, inside a tick,
// with the windows still drawn: an event loop that runs no handler of the
// program, delivers no tick of Timer1 and answers the window system
// (exposure, the window manager's ping). The user's input, window
// activations and close requests that come meanwhile are kept and handed on
// after the tick, in the order they came, so that no handler runs inside the
// tick; until they are, what comes after them waits behind them, and Timer1
// with it. A tick of Timer1 that came due meanwhile comes once, after them,
// as the system's timer messages come after a handler that ran long. A click on Stop or a close
// request among them is also heard at once: stopAsked() then holds, and the reads in progress end
// at the next read instead of at the end of the chunk. A drag and drop is refused while a tick
// waits. From half a second on, the busy cursor shows over every window and the long-wait handler
// is told.
class WindowWaiter final : public QObject, public OperationWaiter
{
    Q_OBJECT

public:
    explicit WindowWaiter(QTimer& tickTimer);
    ~WindowWaiter() override;

    // The window whose closing, and the button whose click, asks the copy
    // to stop.
    void watchForStop(QWidget& window, QAbstractButton& stop);
    // Told true when a wait has lasted half a second, and false at its end.
    void setLongWaitHandler(std::function<void(bool)> handler) { m_longWait = std::move(handler); }

    void waitUntil(const std::function<bool()>& finished) override;
    void wake() override;
    // A tick waits, or what was kept in its wait is not handed on yet.
    bool waiting() const { return m_waiting || m_holding; }
    // Whether the user asked to stop or close during this tick; safe from
    // any thread.
    bool stopAsked() const { return m_stopAsked.load(); }
    // At the end of a handler that waited: what was kept meanwhile is
    // handled after the handler, from the main event loop, in order.
    void handOnKeptEvents();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void noteStopRequest(const QObject* watched, const QEvent& event);
    void deliverKeptEvents();
    void deliverDueTick();

    QTimer& m_tickTimer;
    QAbstractEventDispatcher& m_eventLoop; // the user-interface thread's
    bool m_waiting = false;
    bool m_holding = false; // kept events wait to be delivered
    bool m_tickDue = false; // Timer1 came due while a tick waited
    QPointer<QWidget> m_stopWindow;
    QPointer<QAbstractButton> m_stopButton;
    bool m_pressedOnStop = false;
    std::atomic<bool> m_stopAsked{false};
    std::function<void(bool)> m_longWait;
    struct Kept
    {
        QPointer<QObject> target;
        int type;
        std::unique_ptr<QEvent> event; // user input, to be delivered again
    };
    std::vector<Kept> m_kept;
};

} // namespace brindlecap
