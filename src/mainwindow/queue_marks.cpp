// SPDX-License-Identifier: GPL-3.0-or-later
#include "queue_marks.h"

#include "damage_strip.h"

#include <QApplication>
#include <QListWidget>
#include <QStyle>

#include <algorithm>

namespace brindlecap {

namespace {

// Which of the report's files an entry holds, counted from 0.
constexpr int fileRole = Qt::UserRole + 1;
// The stretches a tooltip names before "and N more": about a screenful.
constexpr std::size_t rangesNamed = 40;

QString words(const std::string& text)
{
    return QString::fromStdString(text);
}

QString why(const std::error_code& error)
{
    return words(error.message());
}

QString stretches(const std::vector<ByteRange>& ranges)
{
    QStringList named;
    for (std::size_t index = 0; index < std::min(ranges.size(), rangesNamed); ++index)
        named << words(inclusiveText(ranges[index]));
    auto text = QStringLiteral("bytes ") + named.join(QStringLiteral(", "));
    if (ranges.size() > rangesNamed)
        text += QStringLiteral(" and %1 more").arg(ranges.size() - rangesNamed);
    return text;
}

// What could not be read, with where an earlier copy's bytes were kept.
QString unreadableText(const FileOutcome& outcome, const NumberFormat& numbers)
{
    auto text = words(bytesText(outcome.unreadableBytes, numbers)) +
                QStringLiteral(" could not be read (") + why(outcome.firstReadError) +
                QStringLiteral("), at ") + stretches(outcome.unreadable) +
                QStringLiteral(", counted from 0; the copy has zeros there.");
    if (outcome.keptEarlierBytes == 0)
        return text;
    const auto kept =
        std::count_if(outcome.unreadable.begin(), outcome.unreadable.end(),
                      [&](const ByteRange& range) { return outcome.keptEarlierWithin(range) > 0; });
    return text + QStringLiteral(" In %1 of these stretches it kept what an earlier copy had "
                                 "there instead (%2).")
                      .arg(kept)
                      .arg(words(bytesText(outcome.keptEarlierBytes, numbers)));
}

// The mark of what the file is now.
QueueMark outcomeMark(const FileOutcome& outcome, const NumberFormat& numbers)
{
    using Kind = QueueMark::Kind;
    switch (outcome.status()) {
    case FileStatus::copied:
        return {Kind::copied,
                QStringLiteral("Copied in full (%1).").arg(words(bytesText(outcome.size, numbers))),
                {}};
    case FileStatus::copiedWithZeros:
        return {Kind::copiedWithZeros,
                QStringLiteral("Copied, but ") + unreadableText(outcome, numbers),
                damageStripUrl(outcome)};
    case FileStatus::notWrittenInFull:
        return {Kind::notWrittenInFull,
                QStringLiteral("Not written in full: %1 (%2 not written).")
                    .arg(outcome.firstWriteError ? why(outcome.firstWriteError)
                                                 : QStringLiteral("out of memory"))
                    .arg(words(bytesText(outcome.unwrittenBytes, numbers))),
                {}};
    case FileStatus::notCopied:
        return {
            Kind::notCopied, QStringLiteral("Not copied: %1.").arg(why(outcome.whyNotCopied)), {}};
    case FileStatus::stopped:
    case FileStatus::notStarted:
        break;
    }
    auto text = QStringLiteral("Stopped here, after %1 of %2.")
                    .arg(words(bytesText(outcome.reached, numbers)))
                    .arg(words(bytesText(outcome.size, numbers)));
    if (outcome.unreadableBytes > 0)
        text += QStringLiteral(" So far ") + unreadableText(outcome, numbers);
    return {Kind::stopped, text, damageStripUrl(outcome)};
}

} // namespace

QueueMark markFor(const FileOutcome& outcome, const NumberFormat& numbers)
{
    auto mark = outcomeMark(outcome, numbers);
    // What this try added to an earlier one: the README says to stop when
    // a try adds nothing.
    if (outcome.recoveredBytes > 0)
        mark.text += QStringLiteral(" This copy recovered %1 that an earlier copy was missing.")
                         .arg(words(bytesText(outcome.recoveredBytes, numbers)));
    return mark;
}

QString toolTipFor(const QueueMark& mark)
{
    // Rich text, so that Qt wraps it; the words are escaped, never markup.
    auto html = QStringLiteral("<p>") + mark.text.toHtmlEscaped() + QStringLiteral("</p>");
    if (!mark.strip.isEmpty())
        html += QStringLiteral("<p><img src=\"") + mark.strip + QStringLiteral("\"></p>");
    return html;
}

QueueMark inProgressMark(bool waiting)
{
    return {QueueMark::Kind::inProgress,
            waiting ? QStringLiteral("Being copied; waiting on the drive, which is struggling "
                                     "to read a damaged area.")
                    : QStringLiteral("Being copied."),
            {}};
}

QIcon iconFor(QueueMark::Kind kind)
{
    struct Look
    {
        const char* themeName;
        QStyle::StandardPixmap fallback;
    };
    static constexpr Look looks[] = {
        {"emblem-default", QStyle::SP_DialogApplyButton},    // a tick
        {"dialog-warning", QStyle::SP_MessageBoxWarning},    // a triangle
        {"dialog-error", QStyle::SP_MessageBoxCritical},     // a cross in a circle
        {"media-skip-forward", QStyle::SP_MediaSkipForward}, // passed over
        {"media-playback-stop", QStyle::SP_MediaStop},       // a square
        {"media-playback-start", QStyle::SP_MediaPlay},      // a triangle pointing on
    };
    const auto& look = looks[static_cast<std::size_t>(kind)];
    return QIcon::fromTheme(QString::fromLatin1(look.themeName),
                            QApplication::style()->standardIcon(look.fallback));
}

void QueueMarks::clear()
{
    for (int index = 0; index < m_list.count(); ++index) {
        auto* entry = m_list.item(index);
        entry->setIcon({});
        entry->setToolTip({});
        entry->setData(Qt::AccessibleDescriptionRole, {});
        entry->setData(fileRole, {});
    }
    m_tied = 0;
    m_marked = 0;
    m_inProgress = false;
}

void QueueMarks::follow(const CopyJob& job, bool running)
{
    const auto& files = job.report().files;
    // The job starts one file at a time, on the entry at IK.
    if (files.size() == m_tied + 1) {
        if (auto* entry = m_list.item(static_cast<int>(job.state().IK.value())))
            entry->setData(fileRole, static_cast<qulonglong>(m_tied));
        m_tied = files.size();
    }
    const auto done = running && !files.empty() ? files.size() - 1 : files.size();
    for (; m_marked < done; ++m_marked) {
        if (auto* entry = entryOf(m_marked)) // else removed from the queue
            setMark(*entry, markFor(files[m_marked], m_numbers));
    }
    m_inProgress = m_marked < m_tied;
    if (auto* entry = m_inProgress ? entryOf(m_marked) : nullptr;
        entry != nullptr && entry->data(Qt::AccessibleDescriptionRole).toString().isEmpty())
        setMark(*entry, inProgressMark(false));
}

void QueueMarks::showWaiting(bool waiting)
{
    if (auto* entry = m_inProgress ? entryOf(m_marked) : nullptr)
        setMark(*entry, inProgressMark(waiting));
}

void QueueMarks::setMark(QListWidgetItem& entry, const QueueMark& mark)
{
    entry.setIcon(iconFor(mark.kind));
    entry.setToolTip(toolTipFor(mark));
    entry.setData(Qt::AccessibleDescriptionRole, mark.text);
}

QListWidgetItem* QueueMarks::entryOf(std::size_t file) const
{
    for (int index = 0; index < m_list.count(); ++index) {
        auto* entry = m_list.item(index);
        const auto tied = entry->data(fileRole);
        if (tied.isValid() && tied.toULongLong() == file)
            return entry;
    }
    return nullptr;
}

} // namespace brindlecap
