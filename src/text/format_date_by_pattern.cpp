#include "text/text_pieces.h"

#include <qmsupport/toolsapi/locale_info.h>

#include <algorithm>
#include <string>

namespace qm::text {
namespace {

// The first `count` characters of a locale name, or all of it; nothing for an index outside
// the table.
template <size_t N>
void AppendName(QMWideString& out, const QMWideString (&names)[N], int index, size_t count) {
    if (index >= 0 && static_cast<size_t>(index) < N) {
        const std::wstring& name = names[index].str();
        out.Append(name.c_str(), std::min(count, name.size()));
    }
}

void AppendNumber(QMWideString& out, long long value, size_t run) {
    QMWideString digits;
    FormatInteger(digits, value, static_cast<int>(std::min<size_t>(run, kMaxFieldWidth)));
    out += digits;
}

// Renders a run of `run` copies of the pattern letter `letter`; false when it is no field.
bool AppendField(QMWideString& out, wchar_t letter, size_t run, const QMDateTime& date) {
    const QMLocaleInformationWide& locale = LocaleInformationWide();
    constexpr size_t kWhole = std::wstring::npos;
    switch (letter) {
        case L'y':
            AppendNumber(out, date.Year(), run);
            return true;
        case L'M':
            if (run <= 2) {
                AppendNumber(out, date.Month(), run);
            } else {
                AppendName(out, locale.monthNames, date.Month() - 1, run == 3 ? 3 : kWhole);
            }
            return true;
        case L'd':
            AppendNumber(out, date.Day(), run);
            return true;
        case L'E':
            AppendName(out, locale.dayNames, date.DayOfWeek(), run <= 3 ? 3 : kWhole);
            return true;
        case L'H':
            AppendNumber(out, date.Hour(), run);
            return true;
        case L'm':
            AppendNumber(out, date.Minute(), run);
            return true;
        case L's':
            AppendNumber(out, date.Second(), run);
            return true;
        default:
            return false;
    }
}

}  // namespace

QMWideString FormatDateByPattern(std::wstring_view pattern, const QMDateTime& date) {
    QMWideString out;
    size_t i = 0;
    while (i < pattern.size()) {
        const wchar_t c = pattern[i];
        if (c == L'\'') {
            // "''" outside quotes is one quote; otherwise copy up to the closing quote, where
            // a doubled quote is one quote that stays inside.
            ++i;
            if (i < pattern.size() && pattern[i] == L'\'') {
                out += L'\'';
                ++i;
                continue;
            }
            while (i < pattern.size()) {
                if (pattern[i] != L'\'') {
                    out += pattern[i++];
                } else if (i + 1 < pattern.size() && pattern[i + 1] == L'\'') {
                    out += L'\'';
                    i += 2;
                } else {
                    ++i;
                    break;
                }
            }
            continue;
        }
        size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c) {
            ++run;
        }
        if (!AppendField(out, c, run, date)) {
            out.str().append(run, c);
        }
        i += run;
    }
    return out;
}

}  // namespace qm::text
