// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc_file_names.h"

#include <algorithm>
#include <utility>

namespace brindlecap {

namespace {

constexpr std::size_t longestName = 255; // NAME_MAX of every Linux file system

bool continuesCharacter(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0U) == 0x80U;
}

} // namespace

std::string fileNameFor(std::string_view onDisc)
{
    std::string name(onDisc);
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), '\0', '_');
    if (name.empty() || name == "." || name == "..") {
        // Piece by piece: GCC 12 warns falsely about inserting at the front.
        std::string prefixed = "_";
        prefixed += name;
        name = std::move(prefixed);
    }
    if (name.size() > longestName) {
        auto cut = longestName;
        while (cut > 0 && continuesCharacter(name[cut]))
            --cut;
        name.resize(cut);
    }
    return name;
}

std::string folderNameForLabel(std::string_view label)
{
    const auto first = label.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return "disc";
    label = label.substr(first, label.find_last_not_of(' ') + 1 - first);
    return fileNameFor(label);
}

} // namespace brindlecap
