#include "text_output.h"

#include <qmsupport/toolsapi/codecs.h>

#include <cstdio>

std::string Utf8(const wchar_t* text) {
    QMNarrowString out;
    Utf16ToUtf8(out, text);
    return out.str();
}

QMWideString Wide(const std::string& text) {
    QMWideString out;
    Utf8ToUtf16(out, text.c_str(), text.size());
    return out;
}

std::string JsonString(std::string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}
