#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

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

namespace qm {
// The length of a GUID's text, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", with its NUL.
inline constexpr size_t kGuidTextSize = 39;
}  // namespace qm

// A fresh version 4 GUID: random, or drawn from the seeded stream when one is in force.
QMSUPPORT_API bool NewGUID(QMGUID& guid);
// Writes the GUID as upper-case text in braces into `buffer` (qm::kGuidTextSize characters).
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

namespace qm {

// The key of a seeded stream of GUIDs. A run that must be repeated exactly, such as a migration
// planned first and applied later, seeds NewGUID: the same seed then gives the same GUIDs in
// the same order. The GUIDs keep the version 4 form and, with a fresh seed, are as
// unpredictable as random ones.
using GuidSeed = std::array<uint8_t, 32>;

// A fresh seed from the system's strong random generator.
QMSUPPORT_API GuidSeed NewGuidSeed();
// The seed as 64 lower-case hexadecimal digits.
QMSUPPORT_API std::string GuidSeedToHex(const GuidSeed& seed);
// Reads 64 hexadecimal digits (either case) into `seed`; false, leaving it alone, for any
// other text.
QMSUPPORT_API bool GuidSeedFromHex(std::string_view hex, GuidSeed& seed);

// From now on NewGUID draws from the stream keyed by `seed`, starting at its beginning.
QMSUPPORT_API void SetGuidSeed(const GuidSeed& seed);
// From now on NewGUID draws random GUIDs again.
QMSUPPORT_API void ClearGuidSeed();

// Seeds NewGUID for its lifetime, then restores the source in force before: random GUIDs,
// or an outer seeded stream at the point it had reached.
class QMSUPPORT_API ScopedGuidSeed {
  public:
    explicit ScopedGuidSeed(const GuidSeed& seed);
    ~ScopedGuidSeed();
    ScopedGuidSeed(const ScopedGuidSeed&) = delete;
    ScopedGuidSeed& operator=(const ScopedGuidSeed&) = delete;

  private:
    bool wasSeeded_;
    GuidSeed previousSeed_;
    uint64_t previousDrawn_;
};

}  // namespace qm
