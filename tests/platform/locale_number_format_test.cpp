// SPDX-License-Identifier: GPL-3.0-or-later
#include "locale_number_format.h"
#include "resume_next.h"

#include <gtest/gtest.h>

namespace brindlecap {
namespace {

TEST(LocaleNumberFormatTest, SizesAreGroupedByThreesAndZeroIsEmpty)
{
    const LocaleNumberFormat english(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(english.thousands(0), "");
    EXPECT_EQ(english.thousands(1), "1");
    EXPECT_EQ(english.thousands(32769), "32,769");
    EXPECT_EQ(english.thousands(3221225472), "3,221,225,472");
    EXPECT_EQ(english.thousands(-1234), "-1,234");
    const LocaleNumberFormat german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(german.thousands(1234567), "1.234.567");
    // The C locale leaves grouping out by default; sizes still group.
    EXPECT_EQ(LocaleNumberFormat(QLocale::c()).thousands(1234567), "1,234,567");
}

TEST(LocaleNumberFormatTest, PercentagesHaveTwoDecimalsInTheLocalesSeparator)
{
    const LocaleNumberFormat english(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(english.percent(0.001), "0.00");
    EXPECT_EQ(english.percent(32.7687), "32.77");
    EXPECT_EQ(english.percent(100), "100.00");
    EXPECT_EQ(english.percent(1234.5), "1,234.50");
    EXPECT_EQ(LocaleNumberFormat(QLocale(QLocale::German, QLocale::Germany)).percent(65.5361),
              "65,54");
}

TEST(LocaleNumberFormatTest, NumbersReadAndWrittenAsQtDoesInEveryLocale)
{
    // Grouped by threes or not (India's lakhs), Latin digits or not, any
    // separator: the text is Qt's own, and so is what a text means.
    for (const auto* name : {"en_US", "de_DE", "fr_FR", "de_CH", "hi_IN", "ar_EG", "C"}) {
        SCOPED_TRACE(name);
        QLocale locale(QString::fromLatin1(name));
        const LocaleNumberFormat numbers(locale);
        locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
        for (const std::int64_t value : {std::int64_t{7}, std::int64_t{-1000}, std::int64_t{65536},
                                         std::int64_t{10'000'000}, INT64_MIN, INT64_MAX})
            EXPECT_EQ(numbers.thousands(value),
                      locale.toString(static_cast<qlonglong>(value)).toStdString());
        for (const double value : {0.0, 0.125, 0.375, 0.145, 2.675, 12.345, 99.999, 99.995, 100.0,
                                   10'000.0 / 3, 1e15, -0.0, -7.5})
            EXPECT_EQ(numbers.percent(value), locale.toString(value, 'f', 2).toStdString());
        for (const auto* text : {"2048", "0032", "99999999999999999999"}) {
            bool ok = false;
            const auto qt = locale.toDouble(QString::fromLatin1(text), &ok);
            if (ok)
                EXPECT_EQ(numbers.parse(text), qt) << text;
            else
                EXPECT_THROW(numbers.parse(text), StepError) << text;
        }
    }
}

TEST(LocaleNumberFormatTest, WhatItWritesReadsBackAndNothingElseDoes)
{
    for (const auto& locale : {QLocale(QLocale::English, QLocale::UnitedStates),
                               QLocale(QLocale::German, QLocale::Germany), QLocale::c()}) {
        SCOPED_TRACE(locale.name().toStdString());
        const LocaleNumberFormat numbers(locale);
        EXPECT_EQ(numbers.parse(numbers.thousands(1234567)), 1234567.0);
        EXPECT_EQ(numbers.parse("2048"), 2048.0);
        EXPECT_THROW(numbers.parse(""), StepError);
        EXPECT_THROW(numbers.parse("12 kB"), StepError);
    }
}

} // namespace
} // namespace brindlecap
