#include <qmsupport/text/sort_support.h>

#include <cstdint>

namespace {

// Walks a wide (UTF-32) text as UTF-16 code units: characters above the basic plane become
// surrogate pairs, which sort below U+E000..U+FFFF as they do in UTF-16.
class Utf16Units {
  public:
    explicit Utf16Units(const wchar_t* text) : p_(text ? text : L"") {}

    // The next code unit; 0 at the end of the text.
    uint32_t Next() {
        if (pending_) {
            uint32_t unit = pending_;
            pending_ = 0;
            return unit;
        }
        uint32_t c = static_cast<uint32_t>(*p_);
        if (c == 0) {
            return 0;
        }
        ++p_;
        if (c >= 0x10000 && c <= 0x10FFFF) {
            pending_ = 0xDC00 + ((c - 0x10000) & 0x3FF);
            return 0xD800 + ((c - 0x10000) >> 10);
        }
        return c;
    }

  private:
    const wchar_t* p_;
    uint32_t pending_ = 0;
};

uint32_t Same(uint32_t unit) {
    return unit;
}
uint32_t AsciiLower(uint32_t unit) {
    return unit >= 'A' && unit <= 'Z' ? unit + ('a' - 'A') : unit;
}

bool LessBy(const wchar_t* a, const wchar_t* b, uint32_t (*fold)(uint32_t)) {
    Utf16Units left(a), right(b);
    for (;;) {
        uint32_t x = fold(left.Next());
        uint32_t y = fold(right.Next());
        if (x != y) {
            return x < y;
        }
        if (x == 0) {
            return false;
        }
    }
}

}  // namespace

bool QMSortSupport::Less(const wchar_t* a, const wchar_t* b) {
    return LessBy(a, b, Same);
}

bool QMSortSupport::LessNoSensitive(const wchar_t* a, const wchar_t* b) {
    return LessBy(a, b, AsciiLower);
}
