// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace brindlecap::testing {

struct ProcessResult
{
    int exitStatus = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs a program with these arguments (no shell) and waits for it.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments);

} // namespace brindlecap::testing
