#include "text/text_pieces.h"

#include <algorithm>
#include <cwchar>
#include <string>

namespace qm::text {
namespace {

constexpr size_t npos = std::wstring_view::npos;

enum class Length { None, Char, Short, Long, LongLong, LongDouble };

// One printf placeholder as parsed from the template: "%" flags width "." precision length
// conversion. A width or precision of -1 was not given.
struct Placeholder {
    std::wstring flags;
    int width = -1;
    int precision = -1;
    Length length = Length::None;
    wchar_t conversion = 0;
    size_t size = 0;  // characters from the "%" through the conversion
};

// Reads decimal digits at `i`, saturating at one above the bound so that huge numbers neither
// overflow nor pass unnoticed.
int ReadNumber(std::wstring_view text, size_t& i) {
    int value = 0;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
        value = std::min(value * 10 + (text[i] - L'0'), kMaxFieldWidth + 1);
        ++i;
    }
    return value;
}

// Parses the placeholder at the start of `text` (which begins with "%"). False when it is
// incomplete or asks for an argument of its own ("*" width or precision).
bool ParsePlaceholder(std::wstring_view text, Placeholder& p) {
    size_t i = 1;
    while (i < text.size() && std::wstring_view(L"-+ #0").find(text[i]) != npos) {
        if (p.flags.find(text[i]) == npos) {
            p.flags += text[i];
        }
        ++i;
    }
    if (i < text.size() && text[i] == L'*') {
        return false;
    }
    if (i < text.size() && text[i] >= L'1' && text[i] <= L'9') {
        p.width = std::min(ReadNumber(text, i), kMaxFieldWidth);
    }
    if (i < text.size() && text[i] == L'.') {
        ++i;
        if (i < text.size() && text[i] == L'*') {
            return false;
        }
        p.precision = std::min(ReadNumber(text, i), kMaxFieldWidth);
    }
    auto next = [&](wchar_t c) {
        if (i < text.size() && text[i] == c) {
            ++i;
            return true;
        }
        return false;
    };
    if (next(L'h')) {
        p.length = next(L'h') ? Length::Char : Length::Short;
    } else if (next(L'l')) {
        p.length = next(L'l') ? Length::LongLong : Length::Long;
    } else if (next(L'j') || next(L'z') || next(L't') || next(L'q')) {
        p.length = Length::LongLong;
    } else if (next(L'L')) {
        p.length = Length::LongDouble;
    }
    if (i >= text.size()) {
        return false;
    }
    p.conversion = text[i];
    p.size = i + 1;
    return true;
}

// The checked placeholder rebuilt for the C library with the given length modifier, so that
// the argument passed is exactly the type the conversion reads.
std::wstring Rebuild(const Placeholder& p, const wchar_t* length, bool withPrecision = true) {
    std::wstring format = L"%" + p.flags;
    if (p.width >= 0) {
        format += std::to_wstring(p.width);
    }
    if (withPrecision && p.precision >= 0) {
        format += L'.' + std::to_wstring(p.precision);
    }
    format += length;
    format += p.conversion;
    return format;
}

bool FormatText(QMWideString& out, const Placeholder& p, const std::wstring& text) {
    if (p.conversion != L's' || (p.length != Length::None && p.length != Length::Long)) {
        return false;
    }
    out.AppendFormat(Rebuild(p, L"l").c_str(), text.c_str());
    return true;
}

bool FormatDouble(QMWideString& out, const Placeholder& p, double value) {
    if (std::wstring_view(L"fFeEgGaA").find(p.conversion) == npos ||
        (p.length != Length::None && p.length != Length::Long && p.length != Length::LongDouble)) {
        return false;
    }
    out.AppendFormat(Rebuild(p, L"").c_str(), value);
    return true;
}

bool IsScalarValue(int value) {
    return value > 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

bool FormatInteger(QMWideString& out, const Placeholder& p, int value) {
    if (p.length == Length::LongDouble) {
        return false;
    }
    if (p.conversion == L'c') {
        // A character: only a Unicode scalar value, so the text stays valid.
        if (!IsScalarValue(value)) {
            return false;
        }
        out.AppendFormat(Rebuild(p, L"l", false).c_str(), static_cast<wint_t>(value));
        return true;
    }
    bool isSigned = p.conversion == L'd' || p.conversion == L'i';
    if (!isSigned && std::wstring_view(L"uxXo").find(p.conversion) == npos) {
        return false;
    }
    // The length modifier narrows or widens the int as the C library would have read it.
    switch (p.length) {
        case Length::Char:
            value = isSigned ? static_cast<signed char>(value) : static_cast<unsigned char>(value);
            break;
        case Length::Short:
            value = isSigned ? static_cast<short>(value) : static_cast<unsigned short>(value);
            break;
        case Length::LongLong:
            if (isSigned) {
                out.AppendFormat(Rebuild(p, L"ll").c_str(), static_cast<long long>(value));
            } else {
                out.AppendFormat(Rebuild(p, L"ll").c_str(),
                                 static_cast<unsigned long long>(static_cast<long long>(value)));
            }
            return true;
        default:
            break;
    }
    if (isSigned) {
        out.AppendFormat(Rebuild(p, L"").c_str(), value);
    } else {
        out.AppendFormat(Rebuild(p, L"").c_str(), static_cast<unsigned>(value));
    }
    return true;
}

bool FormatParam(QMWideString& out, const Placeholder& p, const TextParam& param) {
    if (const auto* text = std::get_if<std::wstring>(&param)) {
        return FormatText(out, p, *text);
    }
    if (const auto* number = std::get_if<double>(&param)) {
        return FormatDouble(out, p, *number);
    }
    if (const auto* integer = std::get_if<int>(&param)) {
        return FormatInteger(out, p, *integer);
    }
    return false;
}

// Text formatted with no argument: "%%" becomes "%", any other "%" stays as it is.
void AppendWithoutArgument(QMWideString& out, std::wstring_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == L'%' && i + 1 < text.size() && text[i + 1] == L'%') {
            ++i;
        }
    }
}

}  // namespace

void AppendFormattedParams(QMWideString& out, std::wstring_view format,
                           std::span<const TextParam> params) {
    std::wstring_view rest = format;
    size_t next = 0;
    while (next < params.size()) {
        size_t percent = rest.find(L'%');
        if (percent == npos) {
            out.Append(rest.data(), rest.size());
            return;
        }
        if (percent + 1 < rest.size() && rest[percent + 1] == L'%') {
            out.Append(rest.data(), percent + 1);
            rest.remove_prefix(percent + 2);
            continue;
        }
        // The piece holds the literal text before the "%", the placeholder and the literal
        // text after it, up to the next "%" past the placeholder's first two characters.
        size_t end = percent + 2 < rest.size() ? rest.find(L'%', percent + 2) : npos;
        std::wstring_view piece = rest.substr(0, end);
        std::wstring_view placeholderText = piece.substr(percent);
        out.Append(piece.data(), percent);
        Placeholder placeholder;
        if (ParsePlaceholder(placeholderText, placeholder) &&
            FormatParam(out, placeholder, params[next])) {
            placeholderText.remove_prefix(placeholder.size);
        }
        out.Append(placeholderText.data(), placeholderText.size());
        ++next;
        rest.remove_prefix(piece.size());
    }
    AppendWithoutArgument(out, rest);
}

}  // namespace qm::text
