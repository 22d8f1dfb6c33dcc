// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer_options.h"
#include "controls.h"
#include "display_fields.h"
#include "source_queue.h"

#include <array>
#include <string>
#include <vector>

namespace brindlecap {

// The window's parts as plain data, for running a job without a window.

class FieldTable final : public DisplayFields
{
public:
    std::string text(Field field) const override;
    void setText(Field field, const std::string& text) override;

private:
    std::array<std::string, fieldCount> m_texts;
};

class PathList final : public SourceQueue
{
public:
    int count() const override;
    std::string entry(int index) const override;

    void append(std::string path);
    void remove(int index);

private:
    std::vector<std::string> m_paths;
};

class OptionGroup final : public BufferOptions
{
public:
    bool isSelected(int index) const override { return index == m_selected; }
    std::string caption(int index) const override;
    void select(int index) override { m_selected = index; }

private:
    int m_selected = defaultBufferOption;
};

class ControlFlags final : public Controls
{
public:
    bool isEnabled(Control control) const override;
    void setEnabled(Control control, bool enabled) override;
    void restoreWindowLayout() override {}

private:
    std::array<bool, controlCount> m_enabled{};
};

} // namespace brindlecap
