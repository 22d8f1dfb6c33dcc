// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "number_format.h"

#include <QLocale>

#include <string>

namespace brindlecap {

// Number texts in a QLocale, the user's own unless told otherwise.
class LocaleNumberFormat final : public NumberFormat
{
public:
    explicit LocaleNumberFormat(const QLocale& locale = QLocale());

    std::string thousands(std::int64_t value) const override;
    std::string percent(double value) const override;
    double parse(const std::string& text) const override;

private:
    std::string qtThousands(std::int64_t value) const;
    std::string qtPercent(double value) const;

    QLocale m_locale;
    bool m_plainDigits = false;  // sizes written here, not by Qt (the same text)
    bool m_plainPercent = false; // and percentages
    std::string m_minus;
    std::string m_group;
    std::string m_point;
};

} // namespace brindlecap
