// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless_job.h"

namespace brindlecap {

HeadlessJob::HeadlessJob(FileAccess& files, NumberFormat& numbers, RescueRecord* record)
    : m_job({m_fields, m_queue, m_options, m_controls, files, numbers, record})
{
    m_job.Form_Load();
}

void HeadlessJob::start(const std::vector<std::string>& sources, const std::string& folder,
                        int bufferOption)
{
    for (const auto& source : sources)
        m_queue.append(source);
    m_options.select(bufferOption);
    m_fields.setText(Field::lblDir, folder);
    m_controls.setEnabled(Control::cmdCopy, true);
    m_job.cmdCopy_Click();
}

int HeadlessJob::runToEnd(int limit)
{
    int ticks = 0;
    for (; running() && ticks < limit; ++ticks)
        m_job.Timer1_Timer();
    return ticks;
}

} // namespace brindlecap
