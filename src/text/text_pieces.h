#pragma once

// The renderers of the pieces of an XML text template, kept apart from the template walk so
// that each can be tested on its own.

#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/toolsapi/date_time.h>

#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace qm::text {

// Templates come from configuration files, so every width, precision and digit count they
// ask for is clamped to this bound: a rendering stays a few kilobytes however absurd the
// request ("%999999999d", decimals="2000000000").
inline constexpr int kMaxFieldWidth = 4096;

// A number with `decimals` digits (5 when negative), then overflow asterisks, zero padding on
// the left, zeros or stripped zeros on the right, and grouping, with the locale's separators.
QMWideString FormatValueText(double value, int integers, int decimals, bool thousandSeparator,
                             bool leftPadding, bool rightPadding);

// A date rendered by pattern letters (y M d E H m s), with single-quoted literal text.
QMWideString FormatDateByPattern(std::wstring_view pattern, const QMDateTime& date);

// The value a parameter child of "textParams" supplies: text, a double, an integer, or none
// (a "paramId" without a resource, or an unknown parameter kind).
using TextParam = std::variant<std::monostate, std::wstring, double, int>;

// Appends `format` filled in with `params`, one placeholder per parameter, in order. "%%" is a
// percent sign. A placeholder is handed to the C library only after it has been parsed and
// found to fit its parameter's kind; one that does not fit, or has no parameter, appears as
// its own text.
void AppendFormattedParams(QMWideString& out, std::wstring_view format,
                           std::span<const TextParam> params);

}  // namespace qm::text
