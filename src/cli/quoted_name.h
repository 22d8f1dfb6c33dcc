// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace brindlecap {

// A file name as `ls --quoting-style=shell-escape` shows it: as it is when
// nothing in it needs quoting; else in single quotes, with a newline, a tab,
// any other control character and any byte that is not UTF-8 written as
// $'\n', $'\t', $'\xHH'. So every name stays on one line, and pasted into a
// shell it names the file again.
std::string quotedName(std::string_view name);

} // namespace brindlecap
