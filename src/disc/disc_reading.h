// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disc_file_access.h"

#include <string>

namespace brindlecap {

// Looks at the disc (an image file) through the file access and lists what
// its trees hold; gives why not, or nothing.
std::string readDisc(FileAccess& files, const std::string& path, DiscSource& disc);

} // namespace brindlecap
