// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

namespace brindlecap {

// The eight texts the main window shows for a job. The job reads some of them
// back as its own state, so a field must return exactly the text last written.
enum class Field
{
    lblFile,
    lblFileName,
    lblFileSize,
    lblDir,
    lblTotal,
    lblByteDone,
    lblPercent,
    lblFilesDone,
};

inline constexpr std::size_t fieldCount = static_cast<std::size_t>(Field::lblFilesDone) + 1;

class DisplayFields
{
public:
    virtual ~DisplayFields() = default;
    virtual std::string text(Field field) const = 0;
    virtual void setText(Field field, const std::string& text) = 0;
};

} // namespace brindlecap
