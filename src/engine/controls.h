// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

namespace brindlecap {

// Everything whose enabled flag says which commands are possible. An enabled
// Timer1 is a running job.
enum class Control
{
    cmdFileSelect,
    cmdDirSelect,
    cmdCopy,
    cmdStop,
    Option1,
    Option2,
    Option3,
    Option4,
    Option5,
    Option6,
    Option7,
    Timer1,
};

inline constexpr std::size_t controlCount = static_cast<std::size_t>(Control::Timer1) + 1;

// The option buttons' controls follow each other, Option1 to Option7.
constexpr Control optionControl(int index)
{
    return static_cast<Control>(static_cast<int>(Control::Option1) + index);
}
static_assert(optionControl(6) == Control::Option7);

class Controls
{
public:
    virtual ~Controls() = default;
    virtual bool isEnabled(Control control) const = 0;
    virtual void setEnabled(Control control, bool enabled) = 0;
    // The window's own part of the reset to idle: its load-time size, its place
    // in the middle of the screen and the title's font size. Runs first.
    virtual void restoreWindowLayout() = 0;
};

} // namespace brindlecap
