// SPDX-License-Identifier: GPL-3.0-or-later
// Any text at all as an open-file dialog's answer: the splitter must not
// crash, and what it gives must be made of what the text held.
#include "picker_text.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto paths = brindlecap::splitPickerText(text);
    if (!paths)
        return 0;
    for (const auto& path : *paths) {
        // No path is empty, none holds a NUL, and none is longer than the text.
        if (path.empty() || path.find('\0') != std::string::npos || path.size() > size)
            std::abort();
    }
    return 0;
}
