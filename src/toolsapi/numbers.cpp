#include <qmsupport/toolsapi/numbers.h>

#include "toolsapi/no_throw.h"

#include <locale.h>

#include <cstdlib>
#include <string>
#include <type_traits>

namespace qm {
namespace {

// The "C" locale, made once; null when it cannot be made, which the readers treat as text
// that holds no number.
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// The leading ASCII of the text, up to a NUL: the runtime's readers need a terminated string,
// and no number goes on past a character outside ASCII.
template <class Char>
std::string AsciiPrefix(std::basic_string_view<Char> text) {
    std::string prefix;
    for (Char c : text) {
        const auto code = static_cast<std::make_unsigned_t<Char>>(c);
        if (code == 0 || code > 0x7F) {
            break;
        }
        prefix += static_cast<char>(code);
    }
    return prefix;
}

// Runs one of the runtime's readers in the "C" locale on the leading ASCII of the text.
template <class Value, class Char, class Read>
Value ReadNumber(std::basic_string_view<Char> text, size_t* used, Read read) noexcept {
    size_t count = 0;
    const Value value = qm::detail::NoThrow(Value(), [&] {
        if (CLocale() == nullptr) {
            return Value();
        }
        const std::string prefix = AsciiPrefix(text);
        char* end = nullptr;
        const Value number = read(prefix.c_str(), &end);
        count = static_cast<size_t>(end - prefix.c_str());
        return count ? number : Value();
    });
    if (used != nullptr) {
        *used = count;
    }
    return value;
}

template <class Char>
long long Integer(std::basic_string_view<Char> text, int base, size_t* used) noexcept {
    return ReadNumber<long long>(text, used, [base](const char* begin, char** end) {
        return strtoll_l(begin, end, base, CLocale());
    });
}

template <class Char>
double Decimal(std::basic_string_view<Char> text, size_t* used) noexcept {
    return ReadNumber<double>(
        text, used, [](const char* begin, char** end) { return strtod_l(begin, end, CLocale()); });
}

}  // namespace

long long ReadInteger(std::string_view text, int base, size_t* used) noexcept {
    return Integer(text, base, used);
}
long long ReadInteger(std::wstring_view text, int base, size_t* used) noexcept {
    return Integer(text, base, used);
}
double ReadDecimal(std::string_view text, size_t* used) noexcept {
    return Decimal(text, used);
}
double ReadDecimal(std::wstring_view text, size_t* used) noexcept {
    return Decimal(text, used);
}

}  // namespace qm
