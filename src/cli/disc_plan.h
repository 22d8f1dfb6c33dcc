// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disc_file_access.h"
#include "source_plan.h"

#include <string>
#include <vector>

namespace brindlecap {

// A file of the disc that the command line names, and where its copy goes
// below the destination.
struct ChosenDiscFile
{
    const DiscFile* file = nullptr;
    std::string copyPath;
};

struct DiscChoice
{
    std::vector<ChosenDiscFile> files; // folder by folder, in name order
    std::vector<std::string> missing;  // the paths the disc does not list
};

// The files the paths name: a file, or a folder with everything beneath it,
// copied under its own name as cp -r copies it; with no paths the whole
// disc, into a folder named after its label. A leading or trailing "/" is
// the same path.
DiscChoice chooseDiscFiles(const DiscSource& disc, const std::vector<std::string>& paths);

// The chosen files as sources, each copied into `directory` where the
// choice puts it; a path the disc does not list is passed over as missing.
SourcePlan planDisc(const DiscSource& disc, const DiscChoice& choice, const std::string& directory);

} // namespace brindlecap
