#pragma once

#include <qmsupport/export.h>

#include <cstddef>
#include <string_view>

namespace qm {

// Numbers in text, read the same way whatever the locale of the process, so the decimal
// separator is always a point. Each reads as the C runtime's readers do in the "C" locale:
// leading white space, an optional sign, then as much of a number as there is. `used`
// (optional) receives the count of characters read: 0 when the text starts with no number,
// whose value is then 0. Wtoi (codecs.h) reads wide decimal integers the same way into an int.

// An integer in base 10, or 16 with an optional "0x"; a value beyond the range saturates.
QMSUPPORT_API long long ReadInteger(std::string_view text, int base = 10,
                                    size_t* used = nullptr) noexcept;
QMSUPPORT_API long long ReadInteger(std::wstring_view text, int base = 10,
                                    size_t* used = nullptr) noexcept;
// A decimal number with an optional fraction and exponent (or "inf", "nan", or a hexadecimal
// one); a value beyond the range reads as plus or minus infinity.
QMSUPPORT_API double ReadDecimal(std::string_view text, size_t* used = nullptr) noexcept;
QMSUPPORT_API double ReadDecimal(std::wstring_view text, size_t* used = nullptr) noexcept;

}  // namespace qm
