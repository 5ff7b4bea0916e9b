#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

#include <cstddef>

// Base64 in the standard alphabet with "=" padding.
QMSUPPORT_API void EncodeBase64(QMWideString& out, const unsigned char* bytes, size_t count);
QMSUPPORT_API void EncodeBase64(QMNarrowString& out, const unsigned char* bytes, size_t count);
// The number of bytes the text decodes to; `length` (size_t)-1 means up to the terminator.
QMSUPPORT_API size_t DecodedBase64Size(const char* text, size_t length);
QMSUPPORT_API size_t DecodedBase64Size(const wchar_t* text, size_t length);
// Decodes NUL-terminated text into `buffer`, which holds DecodedBase64Size(text, -1) bytes.
QMSUPPORT_API bool DecodeBase64(unsigned char* buffer, const char* text);
QMSUPPORT_API bool DecodeBase64(unsigned char* buffer, const wchar_t* text);
QMSUPPORT_API bool DecodeBase64String(QMNarrowString& out, const char* text, size_t length);

// UTF-8 and the wide (UTF-32) form. Invalid sequences become U+FFFD.
QMSUPPORT_API void Utf8ToUtf16(QMWideString& out, const char* in);
QMSUPPORT_API void Utf8ToUtf16(QMWideString& out, const char* in, size_t length);
QMSUPPORT_API void Utf16ToUtf8(QMNarrowString& out, const wchar_t* in);
QMSUPPORT_API void Utf16ToUtf8(QMNarrowString& out, const wchar_t* in, size_t length);

// Escapes &, <, >, " and ' as XML entities; Xml2Text undoes it (and numeric references).
QMSUPPORT_API void Text2Xml(QMNarrowString& out, const char* in);
QMSUPPORT_API void Xml2Text(QMNarrowString& out, const char* in);

// Hexadecimal.
QMSUPPORT_API long HtoL(const wchar_t* text, size_t length);
QMSUPPORT_API long HtoL(const char* text, size_t length);
QMSUPPORT_API void BtoH(unsigned char byte, wchar_t* out);  // writes two digits and a NUL
QMSUPPORT_API void BtoH(unsigned char byte, char* out);
