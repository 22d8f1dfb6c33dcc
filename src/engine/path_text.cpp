// SPDX-License-Identifier: GPL-3.0-or-later
#include "path_text.h"

namespace brindlecap {

std::string bareName(std::string_view path)
{
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string folderOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    auto folder = path.substr(0, slash);
    while (!folder.empty() && folder.back() == '/')
        folder.remove_suffix(1);
    return folder.empty() ? "/" : std::string(folder);
}

std::string joinPath(std::string_view folder, std::string_view name)
{
    if (folder.empty())
        return {};
    while (folder.size() > 1 && folder.back() == '/')
        folder.remove_suffix(1);
    std::string path(folder);
    if (path.back() != '/')
        path += '/';
    path += name;
    return path;
}

} // namespace brindlecap
