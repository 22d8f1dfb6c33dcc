// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "job_report.h"

#include <QImage>
#include <QString>

namespace brindlecap {

// A file's damage as a picture a user takes in at a glance: a strip along
// the file's length, rescued where the copy holds its bytes (an earlier
// copy's data included), missing where it holds zeros (a pixel shows
// missing if any byte in it is), not reached
// where a stopped copy did not get to. The words beside it say the same.
QImage damageStrip(const FileOutcome& outcome);
// The strip as a data URL that a tooltip's picture can show; empty for a
// file with nothing to draw (copied in full, passed over, not written).
QString damageStripUrl(const FileOutcome& outcome);

namespace stripColours {
constexpr QRgb rescued = qRgb(0x4E, 0x9A, 0x06);
constexpr QRgb missing = qRgb(0xCC, 0x00, 0x00);
constexpr QRgb notReached = qRgb(0xBA, 0xBD, 0xB6);
} // namespace stripColours

} // namespace brindlecap
