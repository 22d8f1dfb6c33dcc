// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "number_format.h"

#include <QLocale>

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
    QLocale m_locale;
};

} // namespace brindlecap
