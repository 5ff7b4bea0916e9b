#include <qmsupport/toolsapi/locale_info.h>

#include "toolsapi/icu_text.h"
#include "toolsapi/no_throw.h"

#include <unicode/dcfmtsym.h>
#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/numberformatter.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

namespace number = icu::number;

// More decimals than a double carries are still honoured up to this count.
constexpr int kMaxDecimals = 20;
// Zero padding beyond this is not honoured (a pattern of that many letters is nonsense).
constexpr int kMaxIntegerDigits = 256;

QMWideString Wide(const icu::UnicodeString& text) {
    return QMWideString(qm::toolsapi::WideFromUtf16(text.getBuffer(), text.length()));
}

// What one locale needs: its information and a ready number formatter for every count of
// decimals, ungrouped and grouped. Formatters are immutable, so formatting needs no lock.
struct LocaleState {
    QMLocaleInformationWide info;
    std::vector<number::LocalizedNumberFormatter> formatters;  // [decimals * 2 + grouping]

    explicit LocaleState(const std::string& name) {
        icu::Locale locale(name.c_str());
        // Latin digits everywhere, so that callers can pad and trim the text with "0".
        UErrorCode status = U_ZERO_ERROR;
        locale.setKeywordValue("numbers", "latn", status);

        status = U_ZERO_ERROR;
        icu::DecimalFormatSymbols symbols(locale, status);
        if (U_FAILURE(status)) {
            status = U_ZERO_ERROR;
            symbols = icu::DecimalFormatSymbols(icu::Locale::getRoot(), status);
        }
        // The sign is always a plain "-", also where the locale writes U+2212 or adds bidi
        // marks, so that callers can find it.
        symbols.setSymbol(icu::DecimalFormatSymbols::kMinusSignSymbol, u"-");
        info.thousandSeparator =
            Wide(symbols.getConstSymbol(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol));
        info.decimalSeparator =
            Wide(symbols.getConstSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol));

        status = U_ZERO_ERROR;
        icu::DateFormatSymbols dates(locale, status);
        if (U_SUCCESS(status)) {
            int32_t count = 0;
            const icu::UnicodeString* months = dates.getMonths(
                count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::WIDE);
            for (int32_t i = 0; i < count && i < 12; ++i) {
                info.monthNames[i] = Wide(months[i]);
            }
            // ICU's weekdays start at index 1 with Sunday.
            const icu::UnicodeString* days = dates.getWeekdays(
                count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::WIDE);
            for (int32_t i = 1; i < count && i <= 7; ++i) {
                info.dayNames[i - 1] = Wide(days[i]);
            }
        }

        number::LocalizedNumberFormatter base = number::NumberFormatter::withLocale(locale)
                                                    .symbols(symbols)
                                                    .roundingMode(UNUM_ROUND_HALFUP)
                                                    .sign(UNUM_SIGN_NEGATIVE);
        formatters.reserve((kMaxDecimals + 1) * 2);
        for (int decimals = 0; decimals <= kMaxDecimals; ++decimals) {
            auto fixed = base.precision(number::Precision::fixedFraction(decimals));
            formatters.push_back(fixed.grouping(UNUM_GROUPING_OFF));
            formatters.push_back(fixed.grouping(UNUM_GROUPING_AUTO));
        }
    }
};

// Every locale used so far, by name. States are never dropped, so the reference that
// LocaleInformationWide returns stays valid after the locale changes.
struct LocaleRegistry {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<LocaleState>> states;
    std::atomic<const LocaleState*> current{nullptr};

    const LocaleState* Switch(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex);
        auto& state = states[name];
        if (!state) {
            state = std::make_unique<LocaleState>(name);
        }
        current.store(state.get(), std::memory_order_release);
        return state.get();
    }
};

LocaleRegistry& Registry() {
    static auto* registry = new LocaleRegistry;  // outlives every static destructor
    return *registry;
}

// The ICU name of the process locale from the environment: "de_DE.UTF-8@euro" gives de_DE.
std::string ProcessLocaleName() {
    std::string name;
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            name = value;
            break;
        }
    }
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") {
        return "en_US_POSIX";
    }
    return name;
}

const LocaleState& Current() {
    const LocaleState* state = Registry().current.load(std::memory_order_acquire);
    return state ? *state : *Registry().Switch(ProcessLocaleName());
}

}  // namespace

const QMLocaleInformationWide& LocaleInformationWide() noexcept {
    static const QMLocaleInformationWide fallback{L",", L".", {}, {}};
    return *qm::detail::NoThrow(&fallback, [] { return &Current().info; });
}

void SetLocaleName(const char* name) noexcept {
    qm::detail::NoThrow(
        [&] { Registry().Switch(name && *name ? std::string(name) : ProcessLocaleName()); });
}

void FormatNumber(QMWideString& out, double value, int decimals, bool grouping) noexcept {
    out.Clear();
    qm::detail::NoThrowOrClear(out, [&] {
        decimals = decimals < 0 ? 0 : decimals > kMaxDecimals ? kMaxDecimals : decimals;
        const auto& formatter = Current().formatters[static_cast<size_t>(decimals) * 2 + grouping];
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeString text = formatter.formatDouble(value, status).toString(status);
        if (U_SUCCESS(status)) {
            out = Wide(text);
        }
    });
}

void FormatInteger(QMWideString& out, long long value, int digits) {
    wchar_t buffer[kMaxIntegerDigits + 2];
    wchar_t* end = buffer + sizeof buffer / sizeof buffer[0];
    wchar_t* p = end;
    // The magnitude as unsigned, so that the most negative value has one too.
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    do {
        *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    int width = digits > kMaxIntegerDigits ? kMaxIntegerDigits : digits;
    while (end - p < width) {
        *--p = L'0';
    }
    if (value < 0) {
        *--p = L'-';
    }
    out = QMWideString(p, static_cast<size_t>(end - p));
}
