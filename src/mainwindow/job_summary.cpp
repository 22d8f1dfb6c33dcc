// SPDX-License-Identifier: GPL-3.0-or-later
#include "job_summary.h"

#include <QStringList>
#include <QWidget>

namespace brindlecap {

namespace {

QString filesText(std::size_t count)
{
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}

} // namespace

QString jobSummary(const JobReport& report, const NumberFormat& numbers)
{
    constexpr auto statuses = static_cast<std::size_t>(FileStatus::notStarted) + 1;
    std::size_t counts[statuses] = {};
    std::int64_t missingBytes = 0;
    std::int64_t recoveredBytes = 0;
    for (const auto& file : report.files) {
        ++counts[static_cast<std::size_t>(file.status())];
        // Where a repeat copy kept an earlier copy's data, nothing is missing.
        if (file.status() == FileStatus::copiedWithZeros)
            missingBytes += file.unreadableBytes - file.keptEarlierBytes;
        recoveredBytes += file.recoveredBytes;
    }
    const auto count = [&](FileStatus status) { return counts[static_cast<std::size_t>(status)]; };
    QStringList parts;
    if (const auto copied = count(FileStatus::copied))
        parts << QStringLiteral("%1 copied in full").arg(copied);
    if (const auto withZeros = count(FileStatus::copiedWithZeros))
        parts << QStringLiteral("%1 copied with unreadable parts (%2 still missing, zeros in the "
                                "copies)")
                     .arg(withZeros)
                     .arg(QString::fromStdString(bytesText(missingBytes, numbers)));
    if (const auto unwritten = count(FileStatus::notWrittenInFull))
        parts << QStringLiteral("%1 not written in full").arg(unwritten);
    if (const auto notCopied = count(FileStatus::notCopied))
        parts << QStringLiteral("%1 not copied").arg(notCopied);
    if (const auto stopped = count(FileStatus::stopped) + count(FileStatus::notStarted))
        parts << QStringLiteral("%1 stopped or not reached").arg(stopped);
    auto text = filesText(report.files.size()) + QStringLiteral(": ") +
                parts.join(QStringLiteral(", ")) + QStringLiteral(".");
    if (recoveredBytes > 0)
        text += QStringLiteral("\nThis try recovered %1 that earlier copies were missing.")
                    .arg(QString::fromStdString(bytesText(recoveredBytes, numbers)));
    // What to do next, for each kind of trouble the job met.
    if (count(FileStatus::copiedWithZeros) > 0)
        text += QStringLiteral("\nTo get more, clean the disc or put it in another drive and "
                               "copy the same files into the same folder again; a second copy "
                               "only adds. When a try adds nothing, stop.");
    if (count(FileStatus::notWrittenInFull) > 0)
        text += QStringLiteral("\nMake room on the destination (or choose another folder) and "
                               "copy the files marked with a cross again.");
    if (count(FileStatus::notCopied) > 0)
        text += QStringLiteral("\nThe mark of a file that was not copied says why.");
    if (count(FileStatus::stopped) + count(FileStatus::notStarted) > 0)
        text += QStringLiteral("\nCopy the same files into the same folder again to go on.");
    return text;
}

void JobSummary::follow(const JobReport& report, bool running)
{
    // Set once, not at every tick: a screen reader hears each change.
    if (running || m_shown || report.files.empty())
        return;
    set(jobSummary(report, m_numbers));
    m_shown = true;
}

void JobSummary::clear()
{
    if (m_shown)
        set({});
    m_shown = false;
}

void JobSummary::set(const QString& text)
{
    // Rich text, a paragraph for each line, so that Qt wraps it; the words
    // are escaped, never markup.
    QString toolTip;
    for (const auto& line : text.split(u'\n', Qt::SkipEmptyParts))
        toolTip += QStringLiteral("<p>") + line.toHtmlEscaped() + QStringLiteral("</p>");
    for (auto* label : m_labels)
        label->setToolTip(toolTip);
    m_window.setAccessibleDescription(text);
}

} // namespace brindlecap
