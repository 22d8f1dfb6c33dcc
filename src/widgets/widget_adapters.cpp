// SPDX-License-Identifier: GPL-3.0-or-later
#include "widget_adapters.h"

#include "resume_next.h"

#include <QFile>

#include <stdexcept>

namespace brindlecap {

namespace {

std::string toBytes(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

QString fromBytes(const std::string& text)
{
    return QFile::decodeName(QByteArray::fromStdString(text));
}

// A tooltip that shows a text as it is. Qt takes a tooltip that looks like
// HTML for HTML, and a file may well be named "<h1>Disc read in full</h1>".
QString plainToolTip(const QString& text)
{
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

} // namespace

std::string LabelFields::text(Field field) const
{
    return toBytes(m_labels.at(static_cast<std::size_t>(field))->text());
}

void LabelFields::setText(Field field, const std::string& text)
{
    auto* label = m_labels.at(static_cast<std::size_t>(field));
    label->setText(fromBytes(text));
    // A long path or name is cut off by the fixed layout; its tooltip has
    // all of it.
    if (field == Field::lblFile || field == Field::lblFileName)
        label->setToolTip(plainToolTip(label->text()));
}

std::string ListQueue::entry(int index) const
{
    const auto* item = m_list.item(index);
    if (item == nullptr)
        throw StepError("no queue entry at that index");
    return toBytes(item->text());
}

bool RadioOptions::isSelected(int index) const
{
    return m_buttons.at(static_cast<std::size_t>(index))->isChecked();
}

std::string RadioOptions::caption(int index) const
{
    return toBytes(m_buttons.at(static_cast<std::size_t>(index))->text());
}

void RadioOptions::select(int index)
{
    // The buttons share a parent, so checking one clears the others.
    m_buttons.at(static_cast<std::size_t>(index))->setChecked(true);
}

bool WidgetControls::isEnabled(Control control) const
{
    if (control == Control::Timer1)
        return m_timer.isActive();
    // The control's own flag: a dialog disabling the whole window does not
    // change which commands the job allows.
    const auto* widget = m_widgets.at(static_cast<std::size_t>(control));
    return widget->isEnabledTo(widget->window());
}

void WidgetControls::setEnabled(Control control, bool enabled)
{
    if (control == Control::Timer1) {
        if (enabled)
            m_timer.start();
        else
            m_timer.stop();
        return;
    }
    m_widgets.at(static_cast<std::size_t>(control))->setEnabled(enabled);
}

} // namespace brindlecap
