// SPDX-License-Identifier: GPL-3.0-or-later
#include "picker_text.h"

namespace brindlecap {

std::optional<std::vector<std::string>> splitPickerText(std::string_view text)
{
    const auto firstNul = text.find('\0');
    if (firstNul == std::string_view::npos)
        return std::nullopt;
    if (firstNul + 1 < text.size() && text[firstNul + 1] == '\0') {
        // An empty path names no file; queued, it would only fail later.
        if (firstNul == 0)
            return std::vector<std::string>{};
        return std::vector<std::string>{std::string(text.substr(0, firstNul))};
    }

    std::string folder(text.substr(0, firstNul));
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    std::vector<std::string> paths;
    auto nameStart = firstNul + 1;
    for (auto scan = nameStart; scan < text.size(); ++scan) {
        if (text[scan] != '\0')
            continue;
        if (scan > nameStart)
            paths.push_back(folder + std::string(text.substr(nameStart, scan - nameStart)));
        nameStart = scan + 1;
    }
    return paths;
}

} // namespace brindlecap
