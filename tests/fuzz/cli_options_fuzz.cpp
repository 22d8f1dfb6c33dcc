// SPDX-License-Identifier: GPL-3.0-or-later
// Any command line at all (arguments split at NUL bytes): the parser must not
// crash, and a command line it takes for a copy must name a real job: its
// sources (or a disc, whole or in part) and where they go (or a listing of
// the disc, which goes nowhere).
#include "buffer_options.h"
#include "cli_options.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string_view> arguments;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        const auto end = rest.find('\0');
        arguments.push_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    const auto options = brindlecap::parseCliOptions(arguments);
    if (!options.error.empty() || options.action != brindlecap::CliOptions::Action::copy)
        return 0;
    const bool named = !options.sources.empty() || !options.disc.empty();
    const bool placed = options.listOnly ? !options.disc.empty() && options.directory.empty()
                                         : !options.directory.empty();
    if (!named || !placed || options.bufferOption < 0 ||
        options.bufferOption >= brindlecap::BufferOptions::count)
        std::abort();
    return 0;
}
