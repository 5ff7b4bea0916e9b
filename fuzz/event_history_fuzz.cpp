// Any bytes as an event history file: no crash, and writing back what was read gives the
// input again, up to a partial record at its end.

#include <qmsupport/images/cx_file.h>
#include <qmsupport/legacy/event_history.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    CxMemFile in(bytes.data(), static_cast<uint32_t>(bytes.size()));
    EventHistoryReader reader(in);
    if (reader.ReadHeader() != HistoryFileReader::HeaderState::Valid) {
        return 0;
    }
    CxMemFile out;
    out.Open();
    EventHistoryWriter writer(out);
    writer.WriteHeader();
    EventHistoryRecord record;
    while (reader.Next(record)) {
        writer.Write(record);
    }
    const size_t whole = size - reader.TailBytes();
    if (reader.Offset() != size || static_cast<size_t>(out.Size()) != whole ||
        std::memcmp(out.GetBuffer(false), data, whole) != 0) {
        std::abort();
    }
    return 0;
}
