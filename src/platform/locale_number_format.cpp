// SPDX-License-Identifier: GPL-3.0-or-later
#include "locale_number_format.h"

#include "resume_next.h"

#include <QString>

#include <stdexcept>

namespace brindlecap {

LocaleNumberFormat::LocaleNumberFormat(const QLocale& locale) : m_locale(locale)
{
    // The C locale omits grouping by default; sizes are always grouped.
    m_locale.setNumberOptions(m_locale.numberOptions() & ~QLocale::OmitGroupSeparator);
}

std::string LocaleNumberFormat::thousands(std::int64_t value) const
{
    if (value == 0)
        return {};
    return m_locale.toString(static_cast<qlonglong>(value)).toStdString();
}

std::string LocaleNumberFormat::percent(double value) const
{
    return m_locale.toString(value, 'f', 2).toStdString();
}

double LocaleNumberFormat::parse(const std::string& text) const
{
    bool ok = false;
    const double value = m_locale.toDouble(QString::fromStdString(text), &ok);
    if (!ok)
        throw StepError("not a number: \"" + text + "\"");
    return value;
}

} // namespace brindlecap
