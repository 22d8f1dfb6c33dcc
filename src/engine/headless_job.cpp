// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless_job.h"

#include "resume_next.h"

#include <stdexcept>

namespace brindlecap {

std::string FieldTable::text(Field field) const
{
    return m_texts.at(static_cast<std::size_t>(field));
}

void FieldTable::setText(Field field, const std::string& text)
{
    m_texts.at(static_cast<std::size_t>(field)) = text;
}

std::string PathList::entry(int index) const
{
    if (index < 0 || index >= count())
        throw StepError("no queue entry at that index");
    return m_paths[static_cast<std::size_t>(index)];
}

void PathList::remove(int index)
{
    if (index < 0 || index >= count())
        throw StepError("no queue entry at that index");
    m_paths.erase(m_paths.begin() + index);
}

std::string OptionGroup::caption(int index) const
{
    return std::string(bufferCaptions.at(static_cast<std::size_t>(index)));
}

bool ControlFlags::isEnabled(Control control) const
{
    return m_enabled.at(static_cast<std::size_t>(control));
}

void ControlFlags::setEnabled(Control control, bool enabled)
{
    m_enabled.at(static_cast<std::size_t>(control)) = enabled;
}

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
