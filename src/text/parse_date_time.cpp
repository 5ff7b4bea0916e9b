#include <qmsupport/text/parse_date_time.h>

#include <qmsupport/toolsapi/numbers.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace {

struct Field {
    size_t start;
    size_t count;
};
constexpr Field kDay{0, 2}, kMonth{2, 2}, kYear{4, 4};
constexpr Field kTimeFields[] = {{8, 2}, {10, 2}, {12, 2}, {14, 3}};  // h, m, s, ms

// The number at the field's place, clipped to the text; non-digits end it, as atoi reads.
int Read(std::string_view text, Field field) {
    char digits[8] = {};
    if (field.start < text.size()) {
        text.copy(digits, std::min(field.count, text.size() - field.start), field.start);
    }
    return static_cast<int>(qm::ReadInteger(digits));  // at most four digits
}

}  // namespace

void ParseDateTime(const QMNarrowString& text, QMDateTime& result, bool endOfDay) {
    const std::string_view s = text.view();
    int time[] = {endOfDay ? 23 : 0, endOfDay ? 59 : 0, endOfDay ? 59 : 0, 0};
    for (size_t i = 0; i < std::size(kTimeFields); ++i) {
        const Field field = kTimeFields[i];
        if (s.size() < field.start + field.count) {
            break;
        }
        time[i] = Read(s, field);
    }
    result.SetDateTime(Read(s, kYear), Read(s, kMonth), Read(s, kDay), time[0], time[1], time[2],
                       time[3], 0);
}
