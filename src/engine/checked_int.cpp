// SPDX-License-Identifier: GPL-3.0-or-later
#include "checked_int.h"

#include <cmath>
#include <limits>

namespace brindlecap {

CheckedInt CheckedInt::fromDouble(double value)
{
    const double rounded = std::nearbyint(value);
    // 2^63 is exactly representable; anything at or above it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(rounded) || rounded >= limit || rounded < -limit)
        throw std::overflow_error("number does not fit in 64 bits");
    return static_cast<std::int64_t>(rounded);
}

int CheckedInt::toInt() const
{
    if (m_value < std::numeric_limits<int>::min() || m_value > std::numeric_limits<int>::max())
        throw std::overflow_error("number does not fit in an int");
    return static_cast<int>(m_value);
}

} // namespace brindlecap
