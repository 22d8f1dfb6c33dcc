// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "copy_job.h"
#include "number_format.h"

#include <QIcon>
#include <QString>

#include <cstddef>

class QListWidget;
class QListWidgetItem;

namespace brindlecap {

// What a queue entry's mark says of its file once the job is done with it:
// a shape and the words a tooltip and a screen reader give.
struct QueueMark
{
    enum class Kind
    {
        copied,
        copiedWithZeros,
        notWrittenInFull,
        notCopied,
        stopped,
        inProgress,
    };

    Kind kind = Kind::copied;
    QString text;
    QString strip; // the file's damage as a picture (a data URL), if it has any
};

QueueMark markFor(const FileOutcome& outcome, const NumberFormat& numbers);
// What the tooltip of a marked entry shows: the words, wrapped to a readable
// width, and the damage strip below them.
QString toolTipFor(const QueueMark& mark);
// The mark of the file being copied; `waiting`: a read has been waiting on
// the drive for a while.
QueueMark inProgressMark(bool waiting);

// A distinct shape for each kind (not a colour alone), from the desktop's
// icon theme, or Qt's own where the theme has none.
QIcon iconFor(QueueMark::Kind kind);

// Marks the entries of the queue with what the last job did to their files.
// It reads the job's report after each of the job's steps: a file the job
// starts is tied to its entry (which moves up when entries above it are
// removed, and goes with its mark when it is removed), and the entry is
// marked once the job is done with the file.
class QueueMarks final
{
public:
    QueueMarks(QListWidget& list, const NumberFormat& numbers) : m_list(list), m_numbers(numbers) {}

    // A new job: the last job's marks go.
    void clear();
    // After Copy, a tick, Stop or New; `running` while the job goes on.
    void follow(const CopyJob& job, bool running);
    // While the file being copied waits on the drive, its entry says so.
    void showWaiting(bool waiting);

private:
    QListWidgetItem* entryOf(std::size_t file) const;
    static void setMark(QListWidgetItem& entry, const QueueMark& mark);

    QListWidget& m_list;
    const NumberFormat& m_numbers;
    std::size_t m_tied = 0;    // files of the report tied to their entries
    std::size_t m_marked = 0;  // files of the report whose entries are marked
    bool m_inProgress = false; // the last file tied is being copied
};

} // namespace brindlecap
