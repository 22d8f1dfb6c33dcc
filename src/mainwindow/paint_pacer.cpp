// SPDX-License-Identifier: GPL-3.0-or-later
#include "paint_pacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace brindlecap {

PaintPacer::PaintPacer(QWidget& window, std::chrono::milliseconds interval)
    : m_window(window), m_interval(interval)
{
    m_paintLater.setSingleShot(true);
    // The request held back comes again: Qt asks once for all that changed
    // until it is answered.
    connect(&m_paintLater, &QTimer::timeout, this, [this] {
        QCoreApplication::postEvent(&m_window, new QEvent(QEvent::UpdateRequest),
                                    Qt::LowEventPriority);
    });
    m_window.installEventFilter(this);
}

bool PaintPacer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_window || event->type() != QEvent::UpdateRequest)
        return false;
    const auto since = std::chrono::milliseconds(
        m_sinceLastPaint.isValid() ? m_sinceLastPaint.elapsed() : m_interval.count());
    if (since >= m_interval) {
        m_sinceLastPaint.start();
        return false;
    }
    if (!m_paintLater.isActive())
        m_paintLater.start(m_interval - since);
    return true;
}

} // namespace brindlecap
