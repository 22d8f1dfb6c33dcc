// SPDX-License-Identifier: GPL-3.0-or-later
#include "damage_strip.h"

#include <QBuffer>
#include <QPainter>

#include <algorithm>

namespace brindlecap {

namespace {

constexpr int stripWidth = 240;
constexpr int stripHeight = 12;

} // namespace

QImage damageStrip(const FileOutcome& outcome)
{
    QImage strip(stripWidth, stripHeight, QImage::Format_RGB32);
    strip.fill(stripColours::rescued);
    const auto size = std::max<std::int64_t>(outcome.size, 1);
    const auto columnOf = [&](std::int64_t offset) {
        return static_cast<int>(std::min<std::int64_t>(offset * stripWidth / size, stripWidth - 1));
    };
    QPainter painter(&strip);
    const auto paint = [&](std::int64_t from, std::int64_t to, QRgb colour) {
        if (from >= to)
            return;
        const auto first = columnOf(from);
        const auto last = columnOf(to - 1);
        painter.fillRect(first, 0, last - first + 1, stripHeight, QColor(colour));
    };
    if (!outcome.finished)
        paint(outcome.reached, outcome.size, stripColours::notReached);
    // What a repeat copy kept of an earlier copy's data is not missing.
    for (const auto& range : rangesOutside(outcome.unreadable, outcome.keptEarlier))
        paint(range.offset, range.end(), stripColours::missing);
    return strip;
}

QString damageStripUrl(const FileOutcome& outcome)
{
    const auto status = outcome.status();
    if (status != FileStatus::copiedWithZeros && status != FileStatus::stopped)
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    damageStrip(outcome).save(&buffer, "PNG");
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

} // namespace brindlecap
