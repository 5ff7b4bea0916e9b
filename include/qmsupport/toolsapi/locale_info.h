#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

// The separators and names of the user's locale, taken from ICU for the process locale
// (LC_ALL, then LC_NUMERIC, then LANG; "C" and "POSIX" are en_US_POSIX) or for the locale set
// through SetLocaleName.
struct QMLocaleInformationWide {
    QMWideString thousandSeparator;
    QMWideString decimalSeparator;
    QMWideString monthNames[12];
    QMWideString dayNames[7];  // Sunday first
};

// The information of the current locale; fetched once and kept until the locale changes.
QMSUPPORT_API const QMLocaleInformationWide& LocaleInformationWide() noexcept;
// Sets the locale by ICU name ("de_DE"); an empty name returns to the process locale.
QMSUPPORT_API void SetLocaleName(const char* name) noexcept;

// A number with `decimals` digits after the separator, grouped when `grouping` is true.
QMSUPPORT_API void FormatNumber(QMWideString& out, double value, int decimals,
                                bool grouping) noexcept;
// An integer with at least `digits` digits, zero-padded, ungrouped.
QMSUPPORT_API void FormatInteger(QMWideString& out, long long value, int digits);
