#pragma once

// Conversions between ICU's UTF-16 text and the library's wide (UTF-32) text.

#include <unicode/utf16.h>

#include <string>

namespace qm::toolsapi {

// UTF-16 to wide text; an unpaired surrogate becomes U+FFFD.
inline std::wstring WideFromUtf16(const UChar* text, int32_t length) {
    std::wstring out;
    out.reserve(static_cast<size_t>(length > 0 ? length : 0));
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U16_NEXT(text, i, length, c);
        out.push_back(static_cast<wchar_t>(U_IS_SURROGATE(c) ? 0xFFFD : c));
    }
    return out;
}

// Wide text to UTF-16; values that are not Unicode scalar values become U+FFFD.
inline std::u16string Utf16FromWide(const wchar_t* text) {
    std::u16string out;
    for (; text && *text; ++text) {
        auto c = static_cast<UChar32>(*text);
        if (c < 0 || c > 0x10FFFF || U_IS_SURROGATE(c)) {
            c = 0xFFFD;
        }
        if (c < 0x10000) {
            out.push_back(static_cast<char16_t>(c));
        } else {
            out.push_back(static_cast<char16_t>(U16_LEAD(c)));
            out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
        }
    }
    return out;
}

}  // namespace qm::toolsapi
