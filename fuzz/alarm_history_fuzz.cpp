// Any bytes as a legacy alarm history file, read and converted in memory: no crash, every
// complete record gives one event record, and the bytes read add up to the input.

#include <qmsupport/images/cx_file.h>
#include <qmsupport/legacy/alarm_history_reader.h>
#include <qmsupport/legacy/event_history.h>

#include "legacy/alarm_history_conversion.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

struct LimitSeen : QMLegacyConversionObserver {
    void OnOccurrenceLimit(const QMWideString&, uint64_t) override { seen = true; }
    bool seen = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    CxMemFile in(bytes.data(), static_cast<uint32_t>(bytes.size()));
    AlarmHistoryReader reader(in);
    if (reader.ReadHeader() != HistoryFileReader::HeaderState::Valid) {
        return 0;
    }
    CxMemFile out;
    out.Open();
    EventHistoryWriter writer(out);
    // A small limit, so that inputs reach it.
    LimitSeen limit;
    qm::legacy::AlarmHistoryConversion conversion(&limit, 8);
    if (!conversion.Convert(reader, writer, L"fuzz.alm")) {
        std::abort();
    }
    const uint64_t records =
        (reader.Offset() - AlarmHistoryReader::kHeaderSize) / AlarmHistoryReader::kRecordSize;
    if (static_cast<uint64_t>(out.Size()) !=
            (records - (limit.seen ? 1 : 0)) * EventHistoryFormat::kRecordSize ||
        (!limit.seen && reader.Offset() != size) || conversion.OpenOccurrences() > 8) {
        std::abort();
    }
    return 0;
}
