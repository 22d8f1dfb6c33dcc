// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "copy_job.h"

#include <array>
#include <string>
#include <vector>

namespace brindlecap {

// The window's parts as plain data, for a job without a window.
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
    int count() const override { return static_cast<int>(m_paths.size()); }
    std::string entry(int index) const override;

    void append(std::string path) { m_paths.push_back(std::move(path)); }
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

// A copy job without a window: the window's parts as plain data around the
// engine's job, reset to idle as the window is at load. The command line,
// the tests and the benchmarks all drive it the same way: queue these, copy
// into there, tick until done.
class HeadlessJob final
{
public:
    HeadlessJob(FileAccess& files, NumberFormat& numbers, RescueRecord* record = nullptr);

    // Queues the sources, picks the buffer option, sets the destination
    // folder as the folder dialog's Ok would, and presses Copy.
    void start(const std::vector<std::string>& sources, const std::string& folder,
               int bufferOption);
    bool running() const { return m_controls.isEnabled(Control::Timer1); }
    // Ticks until the job ends, or for `limit` ticks; gives the ticks it took.
    int runToEnd(int limit);

    CopyJob& job() { return m_job; }
    const CopyJob& job() const { return m_job; }
    FieldTable& fields() { return m_fields; }
    PathList& queue() { return m_queue; }
    OptionGroup& options() { return m_options; }
    ControlFlags& controls() { return m_controls; }

private:
    FieldTable m_fields;
    PathList m_queue;
    OptionGroup m_options;
    ControlFlags m_controls;
    CopyJob m_job;
};

} // namespace brindlecap
