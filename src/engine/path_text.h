// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace brindlecap {

// The text after the last "/", or the whole text when it holds none.
std::string bareName(std::string_view path);

// The folder a path names its file in: the text before the last "/" (without
// the slashes that end it), "/" for a name in the root, and "." for a bare
// name, which is looked up in the working folder.
std::string folderOf(std::string_view path);

// The folder and the name joined by exactly one "/" ("/" and "a" give "/a").
// An empty folder gives the empty path, which names no file: the copy must
// never land in whatever the current directory happens to be.
std::string joinPath(std::string_view folder, std::string_view name);

} // namespace brindlecap
