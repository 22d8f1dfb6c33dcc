// SPDX-License-Identifier: GPL-3.0-or-later
#include "locale_number_format.h"

#include "resume_next.h"

#include <QString>

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string_view>

namespace brindlecap {

namespace {

// Digits with `group` between each three from the right.
std::string grouped(std::string_view digits, const std::string& group)
{
    std::string text;
    text.reserve(digits.size() + digits.size() / 3 * group.size());
    for (std::size_t at = 0; at < digits.size(); ++at) {
        if (at > 0 && (digits.size() - at) % 3 == 0)
            text += group;
        text += digits[at];
    }
    return text;
}

} // namespace

LocaleNumberFormat::LocaleNumberFormat(const QLocale& locale) : m_locale(locale)
{
    // The C locale omits grouping by default; sizes are always grouped.
    m_locale.setNumberOptions(m_locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    // Qt writes each number through the locale's tables, and the system's
    // locale through the system's settings, at a cost above the copying of
    // a small file. Where plain digits grouped by threes write exactly what
    // Qt writes, sizes are written here instead.
    m_minus = m_locale.negativeSign().toStdString();
    m_group = m_locale.groupSeparator().toStdString();
    m_point = m_locale.decimalPoint().toStdString();
    m_plainDigits = true;
    for (const std::int64_t value : {1LL, -12LL, 123LL, 1234LL, -123456LL, 1234567890123456789LL})
        m_plainDigits = m_plainDigits && thousands(value) == qtThousands(value);
    m_plainPercent = m_plainDigits;
    for (const double value : {0.0, 0.004, 0.125, 0.875, 12.345, 99.995, 100.0, 1234.5})
        m_plainPercent = m_plainPercent && percent(value) == qtPercent(value);
}

std::string LocaleNumberFormat::qtThousands(std::int64_t value) const
{
    return m_locale.toString(static_cast<qlonglong>(value)).toStdString();
}

std::string LocaleNumberFormat::thousands(std::int64_t value) const
{
    if (value == 0)
        return {};
    if (!m_plainDigits)
        return qtThousands(value);
    const auto digits = std::to_string(value);
    return value < 0 ? m_minus + grouped(std::string_view(digits).substr(1), m_group)
                     : grouped(digits, m_group);
}

std::string LocaleNumberFormat::qtPercent(double value) const
{
    return m_locale.toString(value, 'f', 2).toStdString();
}

std::string LocaleNumberFormat::percent(double value) const
{
    // Written at every chunk, so written here where that is Qt's text too.
    if (!m_plainPercent || !(value >= 0) || value >= 1e15)
        return qtPercent(value);
    if (value == 0)
        value = 0; // not -0, which to_chars writes with its sign
    // Qt rounds the exact value with a half going up (0.125 to "0.13"),
    // to_chars with a half going to even. A value is exactly halfway
    // between two hundredths only at an odd number of eighths.
    const double eighths = value * 8;
    if (eighths == std::floor(eighths) && std::fmod(eighths, 2) == 1)
        value += 0.001;
    char digits[32];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 2).ptr;
    const std::string_view text(digits, static_cast<std::size_t>(end - digits));
    const auto point = text.size() - 3;
    return grouped(text.substr(0, point), m_group) + m_point + std::string(text.substr(point + 1));
}

double LocaleNumberFormat::parse(const std::string& text) const
{
    // Plain digits (a buffer size, read at every chunk) mean the same in
    // every locale that writes them.
    std::int64_t whole = 0;
    const auto* end = text.data() + text.size();
    if (m_plainDigits && !text.empty() && text[0] >= '0' && text[0] <= '9') {
        const auto [stop, error] = std::from_chars(text.data(), end, whole);
        if (error == std::errc() && stop == end)
            return static_cast<double>(whole);
    }
    bool ok = false;
    const double value = m_locale.toDouble(QString::fromStdString(text), &ok);
    if (!ok)
        throw StepError("not a number: \"" + text + "\"");
    return value;
}

} // namespace brindlecap
