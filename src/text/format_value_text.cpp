#include "text/text_pieces.h"

#include <qmsupport/toolsapi/locale_info.h>

#include <algorithm>
#include <string>

namespace qm::text {

QMWideString FormatValueText(double value, int integers, int decimals, bool thousandSeparator,
                             bool leftPadding, bool rightPadding) {
    constexpr size_t npos = std::wstring::npos;
    integers = std::min(integers, kMaxFieldWidth);
    decimals = std::min(decimals, kMaxFieldWidth);
    const QMLocaleInformationWide& locale = LocaleInformationWide();
    const std::wstring& separator = locale.decimalSeparator.str();
    auto findSeparator = [&](const std::wstring& text) {
        return separator.empty() ? npos : text.find(separator);
    };

    const int effectiveDecimals = decimals < 0 ? 5 : decimals;
    QMWideString number;
    FormatNumber(number, value, effectiveDecimals, false);
    std::wstring text = std::move(number.str());
    const size_t renderedSeparator = findSeparator(text);
    const size_t integerLength = renderedSeparator == npos ? text.size() : renderedSeparator;

    if (integers >= 1 && integerLength > static_cast<size_t>(integers)) {
        std::wstring stars(static_cast<size_t>(integers), L'*');
        if (decimals >= 1) {
            stars += separator;
            stars.append(static_cast<size_t>(decimals), L'*');
        }
        return QMWideString(std::move(stars));
    }

    if (leftPadding && integers >= 1) {
        // A negative number keeps its sign in front of the padding zeros. A negative zero
        // ("-0") counts as negative too, so the zeros never land behind its sign.
        const bool negative = value < 0 || (!text.empty() && text[0] == L'-');
        const size_t wanted = static_cast<size_t>(integers);
        if (!negative && wanted > integerLength) {
            text.insert(0, wanted - integerLength, L'0');
        } else if (negative && integerLength >= 1 && wanted > integerLength - 1) {
            text = L"-" + std::wstring(wanted - (integerLength - 1), L'0') + text.substr(1);
        }
    }

    if (rightPadding && decimals >= 1) {
        if (renderedSeparator == npos) {
            text += separator;
            text.append(static_cast<size_t>(effectiveDecimals), L'0');
        }
    } else if (renderedSeparator != npos && renderedSeparator > 0) {
        const size_t at = findSeparator(text);
        const size_t fraction = at + separator.size();
        while (text.size() > fraction && text.back() == L'0') {
            text.pop_back();
        }
        if (text.size() == fraction) {
            text.resize(at);
        }
    }

    if (thousandSeparator) {
        const size_t at = findSeparator(text);
        std::wstring_view integer(text.data(), at == npos ? text.size() : at);
        std::wstring grouped;
        if (!integer.empty() && integer[0] == L'-') {
            grouped += L'-';
            integer.remove_prefix(1);
        }
        const size_t count = integer.size();
        const size_t first = count % 3 ? count % 3 : 3;
        grouped += integer.substr(0, first);
        for (size_t i = first; i + 3 <= count; i += 3) {
            grouped += locale.thousandSeparator.str();
            grouped += integer.substr(i, 3);
        }
        if (at != npos) {
            grouped += text.substr(at);
        }
        text = std::move(grouped);
    }
    return QMWideString(std::move(text));
}

}  // namespace qm::text
