// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace brindlecap {

// Number texts in the user's locale.
class NumberFormat
{
public:
    virtual ~NumberFormat() = default;
    // Digits grouped by threes with the locale's grouping character; 0 gives "".
    virtual std::string thousands(std::int64_t value) const = 0;
    // At least one digit, the locale's decimal separator, exactly two decimals.
    virtual std::string percent(double value) const = 0;
    // Reads a number written with the locale's grouping and decimal characters;
    // throws std::invalid_argument for anything else, the empty text included.
    virtual double parse(const std::string& text) const = 0;
};

// "1 byte", "0 bytes", "32,768 bytes": a count of bytes in words.
std::string bytesText(std::int64_t bytes, const NumberFormat& numbers);

} // namespace brindlecap
