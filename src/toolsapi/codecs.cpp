#include <qmsupport/toolsapi/codecs.h>

#include "toolsapi/no_throw.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cwctype>
#include <string>
#include <type_traits>

namespace {

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Decoding table over the 256 byte values: the 6-bit value of an alphabet character,
// kSkip for white space (line breaks in stored base64 text), kPad for "=", kBad otherwise.
constexpr uint8_t kBad = 0xFF;
constexpr uint8_t kSkip = 0xFE;
constexpr uint8_t kPad = 0xFD;

struct DecodeTable {
    uint8_t value[256];
    constexpr DecodeTable() : value() {
        for (auto& v : value) {
            v = kBad;
        }
        for (int i = 0; i < 64; ++i) {
            value[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<uint8_t>(i);
        }
        value[static_cast<unsigned char>(' ')] = kSkip;
        value[static_cast<unsigned char>('\t')] = kSkip;
        value[static_cast<unsigned char>('\r')] = kSkip;
        value[static_cast<unsigned char>('\n')] = kSkip;
        value[static_cast<unsigned char>('=')] = kPad;
    }
};
constexpr DecodeTable kDecode;

template <class CharT>
uint8_t Classify(CharT c) {
    auto code = static_cast<std::make_unsigned_t<CharT>>(c);
    return code < 256 ? kDecode.value[code] : kBad;
}

template <class CharT>
size_t TextLength(const CharT* text, size_t length) {
    if (!text) {
        return 0;
    }
    if (length != static_cast<size_t>(-1)) {
        return length;
    }
    return std::char_traits<CharT>::length(text);
}

template <class StringT>
void Encode(StringT& out, const unsigned char* bytes, size_t count) {
    out.Clear();
    if (!bytes || count == 0) {
        return;
    }
    qm::detail::NoThrowOrClear(out, [&] {
        auto& s = out.str();
        s.resize((count + 2) / 3 * 4);
        auto* p = s.data();
        size_t i = 0;
        for (; i + 3 <= count; i += 3) {
            uint32_t v = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
            *p++ = kBase64Alphabet[v >> 18];
            *p++ = kBase64Alphabet[(v >> 12) & 63];
            *p++ = kBase64Alphabet[(v >> 6) & 63];
            *p++ = kBase64Alphabet[v & 63];
        }
        if (i < count) {
            uint32_t v = uint32_t{bytes[i]} << 16;
            if (i + 1 < count) {
                v |= uint32_t{bytes[i + 1]} << 8;
            }
            *p++ = kBase64Alphabet[v >> 18];
            *p++ = kBase64Alphabet[(v >> 12) & 63];
            *p++ = i + 1 < count ? kBase64Alphabet[(v >> 6) & 63] : '=';
            *p++ = '=';
        }
    });
}

// The number of alphabet characters (and of characters that are not base64 at all, so that
// the size bounds what a failing decode may have written); white space and "=" are not
// counted. Every 4 characters carry 3 bytes, a trailing group of 2 or 3 characters 1 or 2.
template <class CharT>
size_t DecodedSize(const CharT* text, size_t length) {
    length = TextLength(text, length);
    size_t symbols = 0;
    for (size_t i = 0; i < length; ++i) {
        uint8_t c = Classify(text[i]);
        if (c != kSkip && c != kPad) {
            ++symbols;
        }
    }
    return symbols / 4 * 3 + (symbols % 4) * 3 / 4;
}

// Decodes `length` characters; calls sink(byte) for each byte. White space is skipped
// anywhere; "=" may only end the text, and with it the text must fill whole groups of four.
// A missing padding is accepted, a lone trailing character (which carries no whole byte) and
// any character outside the alphabet are not. Bytes are only produced for complete input
// characters, so a failed decode has written no more than DecodedSize.
template <class CharT, class Sink>
bool Decode(const CharT* text, size_t length, Sink&& sink) {
    uint32_t bits = 0;
    int pending = 0;  // characters of the current group of four
    int padding = 0;
    for (size_t i = 0; i < length; ++i) {
        // Whole groups of four alphabet characters, the bulk of any text, in one step.
        if (pending == 0 && padding == 0 && i + 4 <= length) {
            uint8_t a = Classify(text[i]), b = Classify(text[i + 1]), c = Classify(text[i + 2]),
                    d = Classify(text[i + 3]);
            if ((a | b | c | d) < 64) {
                uint32_t group = (uint32_t{a} << 18) | (uint32_t{b} << 12) | (uint32_t{c} << 6) | d;
                sink(static_cast<unsigned char>(group >> 16));
                sink(static_cast<unsigned char>(group >> 8));
                sink(static_cast<unsigned char>(group));
                i += 3;
                continue;
            }
        }
        uint8_t c = Classify(text[i]);
        if (c == kSkip) {
            continue;
        }
        if (c == kPad) {
            ++padding;
            continue;
        }
        if (c == kBad || padding != 0) {
            return false;
        }
        bits = (bits << 6) | c;
        if (++pending == 4) {
            sink(static_cast<unsigned char>(bits >> 16));
            sink(static_cast<unsigned char>(bits >> 8));
            sink(static_cast<unsigned char>(bits));
            bits = 0;
            pending = 0;
        }
    }
    if (pending == 1 || (padding != 0 && (pending < 2 || pending + padding != 4))) {
        return false;
    }
    if (pending == 2) {
        sink(static_cast<unsigned char>(bits >> 4));
    } else if (pending == 3) {
        sink(static_cast<unsigned char>(bits >> 10));
        sink(static_cast<unsigned char>(bits >> 2));
    }
    return true;
}

template <class CharT>
bool DecodeInto(unsigned char* buffer, const CharT* text) {
    if (!buffer || !text) {
        return false;
    }
    unsigned char* p = buffer;
    return Decode(text, std::char_traits<CharT>::length(text), [&p](unsigned char b) { *p++ = b; });
}

constexpr char32_t kReplacement = 0xFFFD;

// The UTF-32 form of UTF-8 text. Each maximal ill-formed subsequence (a stray continuation
// byte, a truncated sequence, an overlong form, an encoded surrogate or a value above
// U+10FFFF) becomes one U+FFFD, as Unicode recommends.
void DecodeUtf8(std::wstring& out, const unsigned char* in, size_t length) {
    out.resize(length);  // never more characters than bytes
    wchar_t* p = out.data();
    size_t i = 0;
    while (i < length) {
        unsigned char b = in[i];
        if (b < 0x80) {
            *p++ = static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        int need;
        char32_t cp;
        unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0) {
                lo = 0xA0;  // no overlong forms
            } else if (b == 0xED) {
                hi = 0x9F;  // no surrogates
            }
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0) {
                lo = 0x90;
            } else if (b == 0xF4) {
                hi = 0x8F;  // nothing above U+10FFFF
            }
        } else {
            *p++ = static_cast<wchar_t>(kReplacement);
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool complete = true;
        for (int k = 0; k < need; ++k, ++j) {
            if (j >= length) {
                complete = false;
                break;
            }
            unsigned char c = in[j];
            if (c < (k == 0 ? lo : 0x80) || c > (k == 0 ? hi : 0xBF)) {
                complete = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        *p++ = static_cast<wchar_t>(complete ? cp : kReplacement);
        i = j;
    }
    out.resize(static_cast<size_t>(p - out.data()));
}

// The code point at in[i], advancing i. Wide text that came from UTF-16 may still hold
// surrogate pairs: a high surrogate followed by a low one is joined into one code point; a
// lone surrogate or a value outside Unicode becomes U+FFFD.
char32_t NextCodePoint(const wchar_t* in, size_t length, size_t& i) {
    auto cp = static_cast<char32_t>(in[i++]);
    if (cp >= 0xD800 && cp <= 0xDBFF && i < length) {
        auto next = static_cast<char32_t>(in[i]);
        if (next >= 0xDC00 && next <= 0xDFFF) {
            ++i;
            return 0x10000 + ((cp - 0xD800) << 10) + (next - 0xDC00);
        }
    }
    return (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF ? kReplacement : cp;
}

size_t Utf8Length(char32_t cp) {
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// The UTF-8 form of wide text: one pass to size the result, one to write it.
void EncodeUtf8(std::string& out, const wchar_t* in, size_t length) {
    size_t size = 0;
    for (size_t i = 0; i < length;) {
        if (static_cast<char32_t>(in[i]) < 0x80) {
            ++size;
            ++i;
        } else {
            size += Utf8Length(NextCodePoint(in, length, i));
        }
    }
    out.resize(size);
    char* p = out.data();
    for (size_t i = 0; i < length;) {
        if (static_cast<char32_t>(in[i]) < 0x80) {
            *p++ = static_cast<char>(in[i++]);
            continue;
        }
        char32_t cp = NextCodePoint(in, length, i);
        switch (Utf8Length(cp)) {
            case 1:
                *p++ = static_cast<char>(cp);
                break;
            case 2:
                *p++ = static_cast<char>(0xC0 | (cp >> 6));
                *p++ = static_cast<char>(0x80 | (cp & 0x3F));
                break;
            case 3:
                *p++ = static_cast<char>(0xE0 | (cp >> 12));
                *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                *p++ = static_cast<char>(0x80 | (cp & 0x3F));
                break;
            default:
                *p++ = static_cast<char>(0xF0 | (cp >> 18));
                *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                *p++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
}

template <class CharT>
long ParseHex(const CharT* text, size_t length) {
    length = TextLength(text, length);
    size_t i = 0;
    while (i < length && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    if (i + 1 < length && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        i += 2;
    }
    // The system's long has 32 bits: longer texts wrap, and "FFFFFFFF" reads as -1.
    uint32_t value = 0;
    for (; i < length; ++i) {
        CharT c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            break;
        }
        value = (value << 4) | digit;
    }
    return static_cast<long>(static_cast<int32_t>(value));
}

template <class CharT>
void WriteHexByte(unsigned char byte, CharT* out) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (!out) {
        return;
    }
    out[0] = static_cast<CharT>(kDigits[byte >> 4]);
    out[1] = static_cast<CharT>(kDigits[byte & 15]);
    out[2] = 0;
}

}  // namespace

void EncodeBase64(QMWideString& out, const unsigned char* bytes, size_t count) noexcept {
    Encode(out, bytes, count);
}

void EncodeBase64(QMNarrowString& out, const unsigned char* bytes, size_t count) noexcept {
    Encode(out, bytes, count);
}

size_t DecodedBase64Size(const char* text, size_t length) noexcept {
    return DecodedSize(text, length);
}

size_t DecodedBase64Size(const wchar_t* text, size_t length) noexcept {
    return DecodedSize(text, length);
}

bool DecodeBase64(unsigned char* buffer, const char* text) noexcept {
    return DecodeInto(buffer, text);
}

bool DecodeBase64(unsigned char* buffer, const wchar_t* text) noexcept {
    return DecodeInto(buffer, text);
}

bool DecodeBase64String(QMNarrowString& out, const char* text, size_t length) noexcept {
    out.Clear();
    if (!text) {
        return false;
    }
    length = TextLength(text, length);
    const bool decoded = qm::detail::NoThrow(false, [&] {
        std::string& s = out.str();
        s.reserve(DecodedSize(text, length));
        return Decode(text, length, [&s](unsigned char b) { s.push_back(static_cast<char>(b)); });
    });
    if (!decoded) {
        out.Clear();
    }
    return decoded;
}

void Utf8ToUtf16(QMWideString& out, const char* in) noexcept {
    Utf8ToUtf16(out, in, static_cast<size_t>(-1));
}

void Utf8ToUtf16(QMWideString& out, const char* in, size_t length) noexcept {
    out.Clear();
    qm::detail::NoThrowOrClear(out, [&] {
        DecodeUtf8(out.str(), reinterpret_cast<const unsigned char*>(in), TextLength(in, length));
    });
}

void Utf16ToUtf8(QMNarrowString& out, const wchar_t* in) noexcept {
    Utf16ToUtf8(out, in, static_cast<size_t>(-1));
}

void Utf16ToUtf8(QMNarrowString& out, const wchar_t* in, size_t length) noexcept {
    out.Clear();
    qm::detail::NoThrowOrClear(out, [&] { EncodeUtf8(out.str(), in, TextLength(in, length)); });
}

int Wtoi(std::wstring_view text) noexcept {
    size_t i = 0;
    while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = std::min(value * 10 + (text[i] - L'0'), static_cast<long long>(INT_MAX) + 1);
    }
    value = negative ? -value : value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

long HtoL(const wchar_t* text, size_t length) noexcept {
    return ParseHex(text, length);
}

long HtoL(const char* text, size_t length) noexcept {
    return ParseHex(text, length);
}

void BtoH(unsigned char byte, wchar_t* out) noexcept {
    WriteHexByte(byte, out);
}

void BtoH(unsigned char byte, char* out) noexcept {
    WriteHexByte(byte, out);
}

std::string qm::Utf8(const wchar_t* text) noexcept {
    if (!text) {
        return {};
    }
    QMNarrowString out;
    Utf16ToUtf8(out, text);
    return std::move(out.str());
}

QMWideString qm::Wide(std::string_view text) noexcept {
    QMWideString out;
    Utf8ToUtf16(out, text.data(), text.size());
    return out;
}
