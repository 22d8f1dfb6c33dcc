// SPDX-License-Identifier: GPL-3.0-or-later
#include "checked_int.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace brindlecap {
namespace {

constexpr auto maximum = std::numeric_limits<std::int64_t>::max();
constexpr auto minimum = std::numeric_limits<std::int64_t>::min();

TEST(CheckedIntTest, ArithmeticIsExactUpToTheEdgeAndFailsPastIt)
{
    EXPECT_EQ((CheckedInt(maximum - 1) + 1).value(), maximum);
    EXPECT_EQ((CheckedInt(minimum + 1) - 1).value(), minimum);
    EXPECT_EQ((CheckedInt(3'000'000'000) * 3).value(), 9'000'000'000);
    EXPECT_THROW(CheckedInt(maximum) + 1, std::overflow_error);
    EXPECT_THROW(CheckedInt(minimum) - 1, std::overflow_error);
    EXPECT_THROW(CheckedInt(maximum / 2 + 1) * 2, std::overflow_error);
}

TEST(CheckedIntTest, DoublesRoundToTheNearestWholeNumberOrFail)
{
    EXPECT_EQ(CheckedInt::fromDouble(32.0 * 1024).value(), 32768);
    EXPECT_EQ(CheckedInt::fromDouble(2.5).value(), 2); // ties go to even
    EXPECT_EQ(CheckedInt::fromDouble(-7.6).value(), -8);
    EXPECT_THROW(CheckedInt::fromDouble(std::nan("")), std::overflow_error);
    EXPECT_THROW(CheckedInt::fromDouble(9.3e18), std::overflow_error);
    EXPECT_THROW(CheckedInt::fromDouble(-HUGE_VAL), std::overflow_error);
}

TEST(CheckedIntTest, NarrowingToAnIntFailsWhenItDoesNotFit)
{
    EXPECT_EQ(CheckedInt(-1).toInt(), -1);
    EXPECT_EQ(CheckedInt(std::numeric_limits<int>::max()).toInt(), std::numeric_limits<int>::max());
    EXPECT_THROW(CheckedInt(std::int64_t{1} << 31).toInt(), std::overflow_error);
}

} // namespace
} // namespace brindlecap
