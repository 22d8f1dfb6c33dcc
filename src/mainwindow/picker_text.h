// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindlecap {

// The full paths that an open-file dialog's picker text names, in order:
//   path NUL NUL                   one file, queued as it stands
//   folder NUL name NUL ... NUL    several files in one folder
// Nothing (no value) for a text without a NUL, as a cancelled dialog gives.
// Only a name that a NUL follows counts, and empty names count for nothing.
std::optional<std::vector<std::string>> splitPickerText(std::string_view text);

} // namespace brindlecap
