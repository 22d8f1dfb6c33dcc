// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc_catalogue.h"

#include <algorithm>

namespace brindlecap {

void putTogether(std::vector<TreeListing> listings, DiscCatalogue& catalogue)
{
    std::stable_sort(listings.begin(), listings.end(),
                     [](const TreeListing& a, const TreeListing& b) { return a.names < b.names; });
    std::set<std::string> seen;
    std::set<std::string> folders;
    std::set<std::pair<std::string, std::string>> renamed;
    for (auto& listing : listings) {
        catalogue.trees.push_back(listing.tree);
        for (auto& file : listing.files) {
            const auto key = file.size > 0 ? std::to_string(file.extents.front().offset) + ":" +
                                                 std::to_string(file.size)
                                           : "/" + file.path;
            if (seen.insert(key).second)
                catalogue.files.push_back(std::move(file));
        }
        folders.insert(listing.folders.begin(), listing.folders.end());
        for (auto& entry : listing.renamed)
            if (renamed.insert({entry.folder, entry.onDisc}).second)
                catalogue.renamed.push_back(std::move(entry));
    }
    for (const auto& listing : listings) {
        for (auto unlisted : listing.unlisted) {
            unlisted.listedElsewhere =
                std::any_of(listings.begin(), listings.end(), [&](const TreeListing& other) {
                    return &other != &listing && other.folders.contains(unlisted.path) &&
                           std::none_of(other.unlisted.begin(), other.unlisted.end(),
                                        [&](const UnlistedFolder& failed) {
                                            return failed.path == unlisted.path;
                                        });
                });
            catalogue.unlisted.push_back(std::move(unlisted));
        }
    }
    catalogue.folders.assign(folders.begin(), folders.end());
    std::sort(catalogue.files.begin(), catalogue.files.end(),
              [](const DiscFile& a, const DiscFile& b) { return a.path < b.path; });
}

} // namespace brindlecap
