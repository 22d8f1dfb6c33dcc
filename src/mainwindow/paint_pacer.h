// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>

class QWidget;

namespace brindlecap {

// Lets a window repaint what changed at most once per interval. A copy
// changes the window's labels at every tick, up to a thousand times a
// second, and painting them each time took a sixth of a 2 MiB tick; no
// screen shows more than about sixty pictures a second. What changed
// meanwhile is painted together at the interval's end, the last text
// included. Exposure by the window system is painted at once, as ever.
class PaintPacer final : public QObject
{
public:
    explicit PaintPacer(QWidget& window,
                        std::chrono::milliseconds interval = std::chrono::milliseconds(16));

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_window;
    std::chrono::milliseconds m_interval;
    QElapsedTimer m_sinceLastPaint;
    QTimer m_paintLater;
};

} // namespace brindlecap
