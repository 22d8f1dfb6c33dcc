// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSizeF>

class QWidget;

namespace brindlecap {

// Window sizes and places in twips (1/1440 inch), as the windows' layout is
// given, converted at the screen's logical resolution.
double twipsPerPixel(const QWidget& window);

// Where a window's left (or top) edge goes so that it stands in the middle of
// the screen: in single precision, unrounded and not kept on the screen.
float centredEdge(float screenTwips, float windowTwips);

// The window's outer size in twips: the frame where the window system has
// reported one, else the size the window is meant to have with its frame.
QSizeF outerSizeTwips(const QWidget& window, QSizeF intendedTwips);

// Places a top-level window in the middle of its screen, by the outer size.
void centreOnScreen(QWidget& window, QSizeF intendedOuterTwips);

} // namespace brindlecap
