// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless_surroundings.h"

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

int PathList::count() const
{
    return static_cast<int>(m_paths.size());
}

std::string PathList::entry(int index) const
{
    if (index < 0 || index >= count())
        throw std::out_of_range("no queue entry at that index");
    return m_paths[static_cast<std::size_t>(index)];
}

void PathList::append(std::string path)
{
    m_paths.push_back(std::move(path));
}

void PathList::remove(int index)
{
    if (index < 0 || index >= count())
        throw std::out_of_range("no queue entry at that index");
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

} // namespace brindlecap
