#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

#include <cstddef>
#include <string>
#include <string_view>

// Base64 in the standard alphabet with "=" padding. Decoding skips white space (stored text
// may be broken into lines), accepts a missing padding and fails on any other character, on
// "=" anywhere but at the end and on a lone trailing character.
QMSUPPORT_API void EncodeBase64(QMWideString& out, const unsigned char* bytes,
                                size_t count) noexcept;
QMSUPPORT_API void EncodeBase64(QMNarrowString& out, const unsigned char* bytes,
                                size_t count) noexcept;
// The number of bytes the text decodes to; `length` (size_t)-1 means up to the terminator.
QMSUPPORT_API size_t DecodedBase64Size(const char* text, size_t length) noexcept;
QMSUPPORT_API size_t DecodedBase64Size(const wchar_t* text, size_t length) noexcept;
// Decodes NUL-terminated text into `buffer`, which holds DecodedBase64Size(text, -1) bytes;
// even a failing decode writes no more than that.
QMSUPPORT_API bool DecodeBase64(unsigned char* buffer, const char* text) noexcept;
QMSUPPORT_API bool DecodeBase64(unsigned char* buffer, const wchar_t* text) noexcept;
// Decodes into a string of bytes (which may hold NULs); `out` is empty when it fails.
QMSUPPORT_API bool DecodeBase64String(QMNarrowString& out, const char* text,
                                      size_t length) noexcept;

// UTF-8 and the wide (UTF-32) form; `length` (size_t)-1 means up to the terminator. Each
// invalid UTF-8 sequence becomes one U+FFFD. In wide text a surrogate pair is joined into
// its code point; lone surrogates and values above U+10FFFF become U+FFFD.
QMSUPPORT_API void Utf8ToUtf16(QMWideString& out, const char* in) noexcept;
QMSUPPORT_API void Utf8ToUtf16(QMWideString& out, const char* in, size_t length) noexcept;
QMSUPPORT_API void Utf16ToUtf8(QMNarrowString& out, const wchar_t* in) noexcept;
QMSUPPORT_API void Utf16ToUtf8(QMNarrowString& out, const wchar_t* in, size_t length) noexcept;

namespace qm {
// The same conversions returning their result; a null `text` gives empty text.
QMSUPPORT_API std::string Utf8(const wchar_t* text) noexcept;
inline std::string Utf8(const QMWideString& text) noexcept {
    return Utf8(text.c_str());
}
QMSUPPORT_API QMWideString Wide(std::string_view text) noexcept;
}  // namespace qm

// Escapes &, <, >, " and ' as XML entities and tab, line feed and carriage return as
// character references (so that they survive in attributes); a byte that is not valid UTF-8
// or a character XML cannot hold becomes U+FFFD. The XML writer escapes the same way.
// Xml2Text undoes it: the five entities and any numeric reference to an XML character; an
// ampersand that starts no such reference stays as it is.
QMSUPPORT_API void Text2Xml(QMNarrowString& out, const char* in) noexcept;
QMSUPPORT_API void Xml2Text(QMNarrowString& out, const char* in) noexcept;

// Hexadecimal. HtoL skips leading blanks and an optional "0x", then reads digits up to the
// first other character; the value wraps in 32 bits, so "FFFFFFFF" is -1. BtoH writes
// upper-case digits.
QMSUPPORT_API long HtoL(const wchar_t* text, size_t length) noexcept;
QMSUPPORT_API long HtoL(const char* text, size_t length) noexcept;
QMSUPPORT_API void BtoH(unsigned char byte, wchar_t* out) noexcept;  // writes two digits and a NUL
QMSUPPORT_API void BtoH(unsigned char byte, char* out) noexcept;

// Decimal, as the Windows runtime's _wtoi reads it: leading blanks, an optional sign and
// digits up to the first other character; no digits give 0 and values beyond int saturate.
QMSUPPORT_API int Wtoi(std::wstring_view text) noexcept;
