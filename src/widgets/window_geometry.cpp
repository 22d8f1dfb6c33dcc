// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_geometry.h"

#include <QScreen>
#include <QWidget>

#include <cmath>

namespace brindlecap {

double twipsPerPixel(const QWidget& window)
{
    return 1440.0 / window.logicalDpiX();
}

float centredEdge(float screenTwips, float windowTwips)
{
    return (screenTwips - windowTwips) / 2.0f;
}

QSizeF outerSizeTwips(const QWidget& window, QSizeF intendedTwips)
{
    const auto frame = window.frameGeometry().size();
    // Until the window system has put a frame round it, the frame reads the
    // same as the client geometry, and that would leave out caption and edges.
    if (!window.isVisible() || frame == window.geometry().size())
        return intendedTwips;
    return QSizeF(frame) * twipsPerPixel(window);
}

void centreOnScreen(QWidget& window, QSizeF intendedOuterTwips)
{
    const auto perPixel = twipsPerPixel(window);
    const auto outer = outerSizeTwips(window, intendedOuterTwips);
    const auto screen = window.screen()->geometry();
    const float left = centredEdge(static_cast<float>(screen.width() * perPixel),
                                   static_cast<float>(outer.width()));
    const float top = centredEdge(static_cast<float>(screen.height() * perPixel),
                                  static_cast<float>(outer.height()));
    // The window system can only place whole pixels.
    window.move(screen.x() + static_cast<int>(std::lround(left / perPixel)),
                screen.y() + static_cast<int>(std::lround(top / perPixel)));
}

} // namespace brindlecap
