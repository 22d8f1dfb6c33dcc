// SPDX-License-Identifier: GPL-3.0-or-later
#include "number_format.h"

namespace brindlecap {

std::string bytesText(std::int64_t bytes, const NumberFormat& numbers)
{
    // The thousands format shows 0 as nothing at all.
    if (bytes == 0)
        return "0 bytes";
    return numbers.thousands(bytes) + (bytes == 1 ? " byte" : " bytes");
}

} // namespace brindlecap
