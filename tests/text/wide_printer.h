#pragma once

// Lets GoogleTest print wide strings as text in failure messages.

#include <qmsupport/toolsapi/codecs.h>

#include <ostream>

inline void PrintTo(const QMWideString& text, std::ostream* os) {
    QMNarrowString utf8;
    Utf16ToUtf8(utf8, text.c_str(), text.Length());
    *os << '"' << utf8.c_str() << '"';
}
