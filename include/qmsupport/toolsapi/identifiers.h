#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

#include <cstdint>
#include <cstring>

struct QMGUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
    friend bool operator==(const QMGUID& a, const QMGUID& b) {
        return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
               std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
    }
    friend bool operator!=(const QMGUID& a, const QMGUID& b) { return !(a == b); }
};

// The length of a GUID's text, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", with its NUL.
inline constexpr size_t kGuidTextSize = 39;

// A fresh random GUID.
QMSUPPORT_API bool NewGUID(QMGUID& guid);
// Writes the GUID as upper-case text in braces into `buffer` (kGuidTextSize characters).
QMSUPPORT_API const wchar_t* guidtow(const QMGUID& guid, wchar_t* buffer);
// A fresh GUID as text.
QMSUPPORT_API QMWideString NewGUIDText();

// True when the text is non-empty, starts with a letter or "_" and goes on with letters,
// ASCII digits or "_"; `strict` accepts ASCII letters only, otherwise any Unicode letter.
QMSUPPORT_API bool IsValidId(const wchar_t* text, bool strict);
// Rewrites the text in place into an identifier that IsValidId(text, true) accepts: every
// other character becomes "_", a leading digit gets a "_" in front and an empty text becomes
// "_". True when it changed anything.
QMSUPPORT_API bool NormalizeId(QMWideString& text);
