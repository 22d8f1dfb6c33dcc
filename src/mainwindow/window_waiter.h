// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "background_file_access.h"

#include <QAbstractEventDispatcher>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <vector>

namespace brindlecap {

// Waits for a file operation that a struggling drive holds, inside a tick,
// with the windows still drawn: an event loop that takes no user input,
// delivers no tick of Timer1 and answers the window system (exposure, the
// window manager's ping). Window activations and close requests that come
// meanwhile are kept for after the wait, so that no handler of the program
// runs inside the tick; user input stays queued and is handled after it, in
// order. From half a second on, the busy cursor shows over every window.
class WindowWaiter final : public QObject, public OperationWaiter
{
    Q_OBJECT

public:
    explicit WindowWaiter(QTimer& tickTimer);

    void waitUntil(const std::function<bool()>& finished) override;
    void wake() override;
    bool waiting() const { return m_waiting; }
    // At the end of a handler that waited: what was kept meanwhile goes on
    // to the main event loop, to be handled after the handler, in order.
    void handOnKeptEvents();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTimer& m_tickTimer;
    QAbstractEventDispatcher& m_eventLoop; // the user-interface thread's
    bool m_waiting = false;
    struct Kept
    {
        QPointer<QObject> target;
        int type;
    };
    std::vector<Kept> m_kept;
};

} // namespace brindlecap
