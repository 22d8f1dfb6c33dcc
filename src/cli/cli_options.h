// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer_options.h"

#include <string>
#include <string_view>
#include <vector>

namespace brindlecap {

// What the command line asks for, or why it cannot be done.
struct CliOptions
{
    enum class Action
    {
        copy,
        help,
        version,
    };

    // The passes a run makes over all its files, one after the other: the
    // copy pass, then scraping the inside of bad stretches, then retries of
    // bad sectors. A run goes up to `lastPass`.
    enum class Pass
    {
        copy,
        scrape,
        retry,
    };

    Action action = Action::copy;
    int bufferOption = defaultBufferOption; // index into bufferCaptions
    bool quiet = false;
    bool recursive = false;
    bool useMaps = true;
    bool force = false; // copy even where the copies will not fit
    int retries = 1;
    std::int64_t sectorSize = 0; // the sources' sector as given; 0: learnt
    Pass lastPass = Pass::retry;
    bool json = false;
    std::string reportFile; // also write the report here; empty: no
    // A disc (an image file) whose own trees are read, not the system's
    // listing; `sources` are then paths inside it, none for the whole disc.
    std::string disc;
    bool listOnly = false; // list the disc's files and copy nothing
    std::string discMap;   // GNU ddrescue's map of the disc image; empty: none
    std::vector<std::string> sources;
    std::string directory;
    std::string error; // set: the command line is bad, and this says why
};

// Reads the arguments after the program name, like cp does:
// SOURCE... DIRECTORY, or -t DIRECTORY SOURCE...
CliOptions parseCliOptions(const std::vector<std::string_view>& arguments);

std::string cliUsage();

} // namespace brindlecap
