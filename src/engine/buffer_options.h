// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace brindlecap {

// The group of seven buffer-size options, Option1 to Option7 (index 0 to 6).
// Each caption is a number of kilobytes; exactly one option is selected.
class BufferOptions
{
public:
    static constexpr int count = 7;

    virtual ~BufferOptions() = default;
    virtual bool isSelected(int index) const = 0;
    virtual std::string caption(int index) const = 0;
    // Selecting one option clears the others.
    virtual void select(int index) = 0;
};

// The captions of Option1 to Option7, smallest first.
inline constexpr std::array<std::string_view, BufferOptions::count> bufferCaptions = {
    "32", "64", "128", "256", "512", "1024", "2048"};

// The option chosen until the user picks another: Option4, "256".
inline constexpr int defaultBufferOption = 3;
static_assert(bufferCaptions[defaultBufferOption] == "256");

// The index of the option whose caption is this number of kilobytes.
inline std::optional<int> bufferOptionFor(std::string_view kilobytes)
{
    const auto found = std::find(bufferCaptions.begin(), bufferCaptions.end(), kilobytes);
    if (found == bufferCaptions.end())
        return std::nullopt;
    return static_cast<int>(found - bufferCaptions.begin());
}

} // namespace brindlecap
