// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "source_plan.h"
#include "unique_fd.h"

#include <string>
#include <system_error>

namespace brindlecap {

// The file --report=FILE names. It is opened before anything is copied, so
// that a report that cannot be had stops the run before it starts, and it is
// never one of the run's sources or copies (through a link either), nor in a
// folder of rescue maps, nor anything but a plain file.
class ReportFile final
{
public:
    // Creates the file, or cuts it to nothing; gives why it cannot be had.
    std::string open(const std::string& path, const SourcePlan& plan);
    std::error_code write(const std::string& text);

private:
    UniqueFd m_fd;
};

} // namespace brindlecap
