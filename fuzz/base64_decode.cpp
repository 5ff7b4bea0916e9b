// Decodes arbitrary bytes as narrow and as wide base64 text. The buffer is exactly as large
// as DecodedBase64Size says, so that AddressSanitizer catches any byte written past it; a
// text that decodes must give the same bytes on every path and encode back to itself once
// white space is removed and the padding restored.
#include <qmsupport/toolsapi/codecs.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t expected = DecodedBase64Size(text.c_str(), size);

    QMNarrowString viaString;
    bool ok = DecodeBase64String(viaString, text.c_str(), size);
    if (ok && viaString.Length() != expected) {
        std::abort();
    }

    // The NUL-terminated entry points stop at the first NUL.
    size_t terminated = std::strlen(text.c_str());
    size_t bound = DecodedBase64Size(text.c_str(), static_cast<size_t>(-1));
    auto narrow = std::make_unique<unsigned char[]>(bound);
    bool narrowOk = DecodeBase64(narrow.get(), text.c_str());

    // Each byte as one wide character; bytes above 0x7F (never base64) become characters
    // above 0xFF whose low byte may be an alphabet letter, which must not pass for it.
    std::wstring wide;
    for (size_t i = 0; i < terminated; ++i) {
        wide.push_back(static_cast<wchar_t>(data[i] < 0x80 ? data[i] : 0x100 | (data[i] & 0x7F)));
    }
    if (DecodedBase64Size(wide.c_str(), static_cast<size_t>(-1)) != bound) {
        std::abort();
    }
    auto wideBuffer = std::make_unique<unsigned char[]>(bound);
    if (DecodeBase64(wideBuffer.get(), wide.c_str()) != narrowOk) {
        std::abort();
    }
    if (narrowOk && std::memcmp(narrow.get(), wideBuffer.get(), bound) != 0) {
        std::abort();
    }

    if (ok) {
        std::string canonical;
        for (char c : text) {
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '=') {
                canonical.push_back(c);
            }
        }
        while (canonical.size() % 4 != 0) {
            canonical.push_back('=');
        }
        QMNarrowString encoded;
        EncodeBase64(encoded, reinterpret_cast<const unsigned char*>(viaString.c_str()),
                     viaString.Length());
        // Unused low bits of the last character may differ; the bytes may not.
        QMNarrowString again;
        if (!DecodeBase64String(again, encoded.c_str(), encoded.Length()) ||
            again.str() != viaString.str() || encoded.Length() != canonical.size()) {
            std::abort();
        }
    }

    QMWideString utf;
    Utf8ToUtf16(utf, text.c_str(), size);
    QMNarrowString back;
    Utf16ToUtf8(back, utf.c_str(), utf.Length());
    QMWideString twice;
    Utf8ToUtf16(twice, back.c_str(), back.Length());
    if (twice.str() != utf.str()) {
        std::abort();
    }
    return 0;
}
