// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace brindlecap {

// A name a disc gives, made a name a Linux folder can hold: a "/" or a NUL
// byte becomes "_", "." and ".." and the empty name get a "_" before them,
// and a name past 255 bytes is cut there (never inside a character).
std::string fileNameFor(std::string_view onDisc);

// The folder a whole disc is copied into: its volume label without the
// spaces it is padded with, made a file name; "disc" where it has none.
std::string folderNameForLabel(std::string_view label);

} // namespace brindlecap
