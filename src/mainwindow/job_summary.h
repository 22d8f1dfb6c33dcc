// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "job_report.h"
#include "number_format.h"

#include <QString>

#include <vector>

class QWidget;

namespace brindlecap {

// What a finished or stopped job did, in a few lines: how many files were
// copied in full, with unreadable parts (and how many bytes), not written in
// full, not copied, or not reached; then what to do next.
QString jobSummary(const JobReport& report, const NumberFormat& numbers);

// Shows the summary where the job's result is shown once it ends: as the
// tooltip of the result labels and as the window's accessible description,
// which a screen reader gives with the window.
class JobSummary final
{
public:
    JobSummary(QWidget& window, std::vector<QWidget*> resultLabels, const NumberFormat& numbers)
        : m_window(window), m_labels(std::move(resultLabels)), m_numbers(numbers)
    {}

    // After Copy, a tick, Stop or New: the summary shows once the job has
    // ended (`running` false), until the next Copy clears it.
    void follow(const JobReport& report, bool running);
    void clear();

private:
    void set(const QString& text);

    QWidget& m_window;
    std::vector<QWidget*> m_labels;
    const NumberFormat& m_numbers;
    bool m_shown = false;
};

} // namespace brindlecap
