// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace brindlecap {

// A file name as `ls --quoting-style=shell-escape` shows it: as it is when
// nothing in it needs quoting; else in single quotes, with a newline, a tab,
// any other control character (C0, DEL and C1) and any byte that is not
// UTF-8 written as $'\n', $'\t', $'\xHH'. So every name stays on one line,
// cannot speak to a terminal, and pasted into a shell names the file again.
// Every name the command line prints goes through it.
std::string quotedName(std::string_view name);

// The length of the valid UTF-8 sequence (RFC 3629) that starts at `at`: 1
// for ASCII, 2 to 4 for a character above it, 0 for a byte that starts none.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

// Whether the character of that length at `at` is a control character: C0,
// DEL, or C1.
bool isControlCharacter(std::string_view text, std::size_t at, std::size_t length);

} // namespace brindlecap
