// XML escaping: Text2Xml and Xml2Text, and the escaping the XML writer shares with them.

#include "toolsapi/no_throw.h"
#include "xml/xml_impl.h"

#include <qmsupport/toolsapi/codecs.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Bytes that pass unchanged: printable ASCII except the five special characters.
constexpr std::array<bool, 256> kPlain = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x7F; ++c) {
        plain[c] = c != '&' && c != '<' && c != '>' && c != '"' && c != '\'';
    }
    return plain;
}();

// The length of the well-formed UTF-8 sequence at `p`, or 0; `xmlChar` tells whether it
// encodes a character that XML allows.
size_t Utf8Length(const unsigned char* p, const unsigned char* end, bool& xmlChar) {
    unsigned char b = p[0];
    size_t need;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        lo = b == 0xE0 ? 0xA0 : 0x80;
        hi = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        lo = b == 0xF0 ? 0x90 : 0x80;
        hi = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (static_cast<size_t>(end - p) <= need || p[1] < lo || p[1] > hi) {
        return 0;
    }
    for (size_t k = 2; k <= need; ++k) {
        if (p[k] < 0x80 || p[k] > 0xBF) {
            return 0;
        }
    }
    // U+FFFE and U+FFFF are not XML characters.
    xmlChar = !(b == 0xEF && p[1] == 0xBF && p[2] >= 0xBE);
    return need + 1;
}

const char* EntityOf(unsigned char c) {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        case '\'':
            return "&apos;";
        case '\t':
            return "&#9;";
        case '\n':
            return "&#10;";
        case '\r':
            return "&#13;";
        default:
            return kReplacement;  // a control character, which XML 1.0 cannot carry
    }
}

// The character that a reference "&...;" (without its delimiters) stands for, or 0.
char32_t Unescape(std::string_view name) {
    if (name == "amp") {
        return '&';
    }
    if (name == "lt") {
        return '<';
    }
    if (name == "gt") {
        return '>';
    }
    if (name == "quot") {
        return '"';
    }
    if (name == "apos") {
        return '\'';
    }
    if (name.size() < 2 || name[0] != '#') {
        return 0;
    }
    bool hex = name[1] == 'x';
    size_t i = hex ? 2 : 1;
    if (i == name.size() || name.size() - i > 8) {
        return 0;
    }
    char32_t cp = 0;
    for (; i < name.size(); ++i) {
        char c = name[i];
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
            digit = (c | 0x20) - 'a' + 10;
        } else {
            return 0;
        }
        cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    }
    bool valid = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
                 (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
    return valid ? cp : 0;
}

}  // namespace

std::string qm::xml::Unescaped(std::string_view rest) {
    std::string text;
    while (!rest.empty()) {
        size_t amp = rest.find('&');
        text.append(rest.substr(0, amp));
        if (amp == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(amp);
        size_t semicolon = rest.find(';');
        char32_t cp = semicolon == std::string_view::npos || semicolon > 12
                          ? 0
                          : Unescape(rest.substr(1, semicolon - 1));
        if (cp == 0) {
            text += '&';
            rest.remove_prefix(1);
            continue;
        }
        wchar_t wide = static_cast<wchar_t>(cp);
        QMNarrowString encoded;
        Utf16ToUtf8(encoded, &wide, 1);
        text.append(encoded.str());
        rest.remove_prefix(semicolon + 1);
    }
    return text;
}

bool qm::xml::AppendEscaped(std::string& out, std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    const auto* run = p;
    bool kept = true;
    while (p < end) {
        if (kPlain[*p]) {
            ++p;
            continue;
        }
        size_t length = 1;
        if (*p >= 0x80) {
            bool xmlChar = false;
            length = std::max<size_t>(Utf8Length(p, end, xmlChar), 1);
            if (xmlChar) {
                p += length;
                continue;
            }
        }
        out.append(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
        const char* entity = *p >= 0x80 ? kReplacement : EntityOf(*p);
        kept = kept && entity != kReplacement;
        out.append(entity);
        p += length;
        run = p;
    }
    out.append(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
    return kept;
}

char32_t qm::xml::Windows1252(unsigned char byte) {
    // 0x80 to 0x9F; the five bytes that Windows leaves undefined keep their C1 value.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

// Out of memory leaves `out` empty: it is cleared first and takes the result only at the end.
void Text2Xml(QMNarrowString& out, const char* in) noexcept {
    out.Clear();
    qm::detail::NoThrow([&] {
        std::string text;
        if (in) {
            qm::xml::AppendEscaped(text, in);
        }
        out = QMNarrowString(std::move(text));
    });
}

void Xml2Text(QMNarrowString& out, const char* in) noexcept {
    out.Clear();
    qm::detail::NoThrow([&] { out = QMNarrowString(qm::xml::Unescaped(in ? in : "")); });
}

bool qm::xml::IsBlank(std::string_view text) {
    for (char c : text) {
        if (c != ' ' && c != '\n' && c != '\t' && c != '\r') {
            return false;
        }
    }
    return true;
}
