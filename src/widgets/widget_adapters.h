// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer_options.h"
#include "controls.h"
#include "display_fields.h"
#include "source_queue.h"

#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QTimer>

#include <array>
#include <functional>

namespace brindlecap {

// A window's widgets seen through the copy engine's interfaces.

// Captions of labels. Paths keep their bytes through the file name encoding.
class LabelFields final : public DisplayFields
{
public:
    explicit LabelFields(std::array<QLabel*, fieldCount> labels) : m_labels(labels) {}
    std::string text(Field field) const override;
    void setText(Field field, const std::string& text) override;

private:
    std::array<QLabel*, fieldCount> m_labels; // in the order of Field
};

class ListQueue final : public SourceQueue
{
public:
    explicit ListQueue(QListWidget& list) : m_list(list) {}
    int count() const override { return m_list.count(); }
    std::string entry(int index) const override;

private:
    QListWidget& m_list;
};

class RadioOptions final : public BufferOptions
{
public:
    explicit RadioOptions(std::array<QRadioButton*, count> buttons) : m_buttons(buttons) {}
    bool isSelected(int index) const override;
    std::string caption(int index) const override;
    void select(int index) override;

private:
    std::array<QRadioButton*, count> m_buttons;
};

class WidgetControls final : public Controls
{
public:
    // The controls but Timer1, in the order of Control.
    using Widgets = std::array<QWidget*, controlCount - 1>;
    WidgetControls(Widgets widgets, QTimer& timer, std::function<void()> restoreLayout)
        : m_widgets(widgets), m_timer(timer), m_restoreLayout(std::move(restoreLayout))
    {}
    bool isEnabled(Control control) const override;
    void setEnabled(Control control, bool enabled) override;
    void restoreWindowLayout() override { m_restoreLayout(); }

private:
    Widgets m_widgets;
    QTimer& m_timer;
    std::function<void()> m_restoreLayout;
};

} // namespace brindlecap
