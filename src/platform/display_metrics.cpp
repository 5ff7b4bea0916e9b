#include <qmsupport/platform/display_metrics.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace qm::platform {
namespace {

// Reads a positive number at `text` and moves past it; from_chars keeps the decimal point
// independent of the process locale.
template <class T>
bool ReadPositive(const char*& text, const char* end, T& value) {
    auto [next, error] = std::from_chars(text, end, value);
    if (error != std::errc() || next == text || !(value > 0)) {
        return false;
    }
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    text = next;
    return true;
}

bool Expect(const char*& text, const char* end, const char* literal) {
    size_t n = std::strlen(literal);
    if (static_cast<size_t>(end - text) < n || std::memcmp(text, literal, n) != 0) {
        return false;
    }
    text += n;
    return true;
}

DisplayMetrics& Storage() {
    static DisplayMetrics metrics = [] {
        DisplayMetrics initial;
        if (const char* text = std::getenv("QMSUPPORT_DISPLAY")) {
            DisplayMetrics parsed;
            if (DisplayMetrics::Parse(text, parsed)) {
                initial = parsed;
            }
        }
        return initial;
    }();
    return metrics;
}

}  // namespace

const DisplayMetrics& DisplayMetrics::Current() {
    return Storage();
}

void DisplayMetrics::Set(const DisplayMetrics& metrics) {
    Storage() = metrics;
}

bool DisplayMetrics::Parse(const char* text, DisplayMetrics& out) {
    if (!text) {
        return false;
    }
    const char* end = text + std::strlen(text);
    DisplayMetrics m;
    if (ReadPositive(text, end, m.widthPixels) && Expect(text, end, "x") &&
        ReadPositive(text, end, m.heightPixels) && Expect(text, end, "@") &&
        ReadPositive(text, end, m.widthMillimetres) && Expect(text, end, "x") &&
        ReadPositive(text, end, m.heightMillimetres) && Expect(text, end, "mm/") &&
        ReadPositive(text, end, m.logicalPixelsPerInch) && text == end) {
        out = m;
        return true;
    }
    return false;
}

}  // namespace qm::platform
