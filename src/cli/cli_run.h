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
// its exit status. `interrupted` is asked between chunks.
int runCli(const std::vector<std::string_view>& arguments, CliTerminal terminal,
           const std::function<bool()>& interrupted);

} // namespace brindlecap
