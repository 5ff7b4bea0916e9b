// Reads arbitrary bytes as a compact date-time text, with and without end-of-day.

#include <qmsupport/text/parse_date_time.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QMNarrowString text(std::string(reinterpret_cast<const char*>(data), size));
    QMDateTime date;
    ParseDateTime(text, date, false);
    ParseDateTime(text, date, true);
    return 0;
}
