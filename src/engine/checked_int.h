// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <compare>
#include <cstdint>
#include <stdexcept>

namespace brindlecap {

// A whole number whose arithmetic never wraps: a result outside 64 bits throws
// std::overflow_error, which the tick absorbs like any other failed step.
class CheckedInt final
{
public:
    constexpr CheckedInt() noexcept = default;
    constexpr CheckedInt(std::int64_t value) noexcept : m_value(value) {}

    constexpr std::int64_t value() const noexcept { return m_value; }

    // Nearest whole number; NaN, infinities and values beyond 64 bits fail.
    static CheckedInt fromDouble(double value);

    // The value as an int (a queue index); fails when it does not fit.
    int toInt() const;

    friend CheckedInt operator+(CheckedInt a, CheckedInt b)
    {
        std::int64_t result = 0;
        if (__builtin_add_overflow(a.m_value, b.m_value, &result))
            throw std::overflow_error("addition overflows 64 bits");
        return result;
    }
    friend CheckedInt operator-(CheckedInt a, CheckedInt b)
    {
        std::int64_t result = 0;
        if (__builtin_sub_overflow(a.m_value, b.m_value, &result))
            throw std::overflow_error("subtraction overflows 64 bits");
        return result;
    }
    friend CheckedInt operator*(CheckedInt a, CheckedInt b)
    {
        std::int64_t result = 0;
        if (__builtin_mul_overflow(a.m_value, b.m_value, &result))
            throw std::overflow_error("multiplication overflows 64 bits");
        return result;
    }
    // NOLINTNEXTLINE(modernize-use-nullptr): the 0 is in the defaulted <=>
    friend constexpr auto operator<=>(CheckedInt, CheckedInt) noexcept = default;

private:
    std::int64_t m_value = 0;
};

} // namespace brindlecap
