// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string_view>
#include <vector>

namespace brindlecap {

struct CliTerminal
{
    std::ostream& out;
    std::ostream& err;
    bool showsProgress = false; // err is a terminal: the progress line goes there
    std::size_t width = 80;
};

// Runs brindlecap-cli on its arguments (without the program name) and gives
// its exit status. `stopSignal` is asked between two reads: a signal it
// gives stops the run, which then exits with 128 + that signal.
int runCli(const std::vector<std::string_view>& arguments, CliTerminal terminal,
           const std::function<int()>& stopSignal);

} // namespace brindlecap
