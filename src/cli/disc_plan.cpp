// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc_plan.h"

#include "disc_file_names.h"
#include "path_text.h"

#include <algorithm>
#include <tuple>

namespace brindlecap {

namespace {

std::string withoutSlashes(std::string path)
{
    const auto first = path.find_first_not_of('/');
    if (first == std::string::npos)
        return {};
    path.erase(0, first);
    path.erase(path.find_last_not_of('/') + 1);
    return path;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool under(const std::string& path, const std::string& folder)
{
    return folder.empty() || path == folder ||
           (path.starts_with(folder) && path[folder.size()] == '/');
}

} // namespace

DiscChoice chooseDiscFiles(const DiscSource& disc, const std::vector<std::string>& paths)
{
    DiscChoice choice;
    const auto whole = folderNameForLabel(disc.catalogue.label);
    const auto choose = [&](const std::string& named) {
        const auto kept = named.empty() ? whole : bareName(named);
        bool found = false;
        for (const auto& file : disc.catalogue.files) {
            if (!under(file.path, named))
                continue;
            found = true;
            const auto rest = withoutSlashes(file.path.substr(named.size()));
            choice.files.push_back({&file, rest.empty() ? kept : joinPath(kept, rest)});
        }
        const bool folder =
            std::binary_search(disc.catalogue.folders.begin(), disc.catalogue.folders.end(), named);
        if (!found && !folder)
            choice.missing.push_back(named);
    };
    if (paths.empty())
        choose({});
    for (const auto& path : paths)
        choose(withoutSlashes(path));
    // The files of one folder together, so that they make one job.
    std::stable_sort(choice.files.begin(), choice.files.end(),
                     [](const ChosenDiscFile& a, const ChosenDiscFile& b) {
                         return std::tuple(folderOf(a.copyPath), bareName(a.copyPath)) <
                                std::tuple(folderOf(b.copyPath), bareName(b.copyPath));
                     });
    return choice;
}

SourcePlan planDisc(const DiscSource& disc, const DiscChoice& choice, const std::string& directory)
{
    SourcePlan plan;
    for (const auto& chosen : choice.files) {
        const auto folder = folderOf(chosen.copyPath);
        plan.copies.push_back({disc.sourceName(*chosen.file),
                               folder.empty() ? directory : joinPath(directory, folder), nullptr,
                               chosen.file->size});
    }
    for (const auto& missing : choice.missing)
        plan.passedOver.push_back({disc.path + ":/" + missing, directory,
                                   std::make_error_code(std::errc::no_such_file_or_directory)});
    return plan;
}

} // namespace brindlecap
