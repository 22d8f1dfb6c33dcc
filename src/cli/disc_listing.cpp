// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc_listing.h"

#include "quoted_name.h"

#include <algorithm>
#include <map>
#include <vector>

namespace brindlecap {

namespace {

std::int64_t bytesNotRescued(const DiscSource& disc, const DiscFile& file)
{
    std::int64_t bytes = 0;
    for (const auto& extent : file.extents)
        for (const auto& range : rangesWithin(*disc.notRescued, extent.offset, extent.length))
            bytes += range.length;
    return bytes;
}

std::string folderText(const std::string& path)
{
    return path.empty() ? std::string("the root folder") : quotedName(path);
}

} // namespace

std::string discListing(const DiscSource& disc, const DiscChoice& choice,
                        const NumberFormat& numbers)
{
    std::string text = discSummary(disc);
    // Sizes right-aligned, as ls -l aligns them; a locale's grouping mark
    // may take more than a byte, so characters are counted.
    const auto width = [](const std::string& size) {
        return static_cast<std::size_t>(std::count_if(size.begin(), size.end(), [](char byte) {
            return (static_cast<unsigned char>(byte) & 0xC0U) != 0x80U;
        }));
    };
    std::vector<std::string> sizes;
    std::size_t widest = 0;
    for (const auto& chosen : choice.files) {
        sizes.push_back(bytesText(chosen.file->size, numbers));
        widest = std::max(widest, width(sizes.back()));
    }
    std::int64_t total = 0;
    std::size_t hit = 0;
    for (std::size_t index = 0; index < choice.files.size(); ++index) {
        const auto& file = *choice.files[index].file;
        total += file.size;
        text.append(widest - width(sizes[index]), ' ');
        text += sizes[index];
        text += "  ";
        text += quotedName(file.path);
        text += "  (";
        text += file.tree;
        if (const auto missing = disc.notRescued ? bytesNotRescued(disc, file) : 0; missing > 0) {
            text += "; " + bytesText(missing, numbers) + " in the map's bad areas";
            ++hit;
        }
        text += ")\n";
    }
    for (const auto& missing : choice.missing)
        text += "not on the disc: " + quotedName(missing) + "\n";
    text += std::to_string(choice.files.size());
    text += choice.files.size() == 1 ? " file, " : " files, ";
    text += bytesText(total, numbers);
    if (disc.notRescued)
        text += "; " + std::to_string(hit) + (hit == 1 ? " file meets" : " files meet") +
                " the map's bad areas";
    text += "\n";
    return text;
}

std::string discSummary(const DiscSource& disc)
{
    const auto& catalogue = disc.catalogue;
    std::string text = "disc: " + quotedName(disc.path);
    if (!catalogue.label.empty())
        text += ", labelled " + quotedName(catalogue.label);
    text += "; its trees:";
    for (std::size_t index = 0; index < catalogue.trees.size(); ++index)
        text += (index == 0 ? " " : ", ") + catalogue.trees[index];
    text += "\n";
    for (const auto& folder : catalogue.unlisted) {
        text += folder.listedElsewhere ? "listed through another tree: " : "not listed whole: ";
        text += folderText(folder.path);
        text += folder.partly ? ": some of its sectors did not read in the "
                              : ": its sectors did not read in the ";
        text += folder.tree;
        text += " tree\n";
    }
    std::map<std::string, std::size_t> foundThrough;
    for (const auto& file : catalogue.files)
        ++foundThrough[file.tree];
    for (const auto& [tree, count] : foundThrough)
        text += "found through " + tree + ": " + std::to_string(count) +
                (count == 1 ? " file\n" : " files\n");
    for (const auto& entry : catalogue.renamed) {
        text += "named " + quotedName(entry.madeName) + ": the disc calls it " +
                quotedName(entry.onDisc) + " in " + folderText(entry.folder) + "\n";
    }
    return text;
}

bool discListedInPart(const DiscSource& disc)
{
    const auto& unlisted = disc.catalogue.unlisted;
    return std::any_of(unlisted.begin(), unlisted.end(),
                       [](const UnlistedFolder& folder) { return !folder.listedElsewhere; });
}

} // namespace brindlecap
