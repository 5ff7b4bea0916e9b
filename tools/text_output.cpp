#include "text_output.h"

#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/xml_document.h>

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

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

std::string JsonString(std::string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

std::string LoadFailure(const std::string& file, const XmlDocument& document) {
    std::string text = file + ":";
    if (document.ErrorLine() > 0) {
        text += std::to_string(document.ErrorLine()) + ":" +
                std::to_string(document.ErrorColumn()) + ":";
    }
    return text + " " + std::string(document.ErrorMessage());
}
