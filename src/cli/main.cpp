// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli_run.h"
#include "interrupt_watch.h"

#include <iostream>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    brindlecap::CliTerminal terminal{std::cout, std::cerr};
    // Progress goes to stderr, so "brindlecap-cli ... > report.txt" still shows it.
    terminal.showsProgress = ::isatty(STDERR_FILENO) == 1;
    winsize size{};
    if (terminal.showsProgress && ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        terminal.width = size.ws_col - 1u; // the last column would wrap on some terminals
    const brindlecap::InterruptWatch interrupt;
    return brindlecap::runCli(arguments, terminal, [&] { return interrupt.requested(); });
}
