#pragma once

#include <qmsupport/export.h>
#include <qmsupport/legacy/history_file_reader.h>

#include <cstddef>
#include <cstdint>

// One record of a legacy alarm history file; every number is stored big-endian.
struct AlarmHistoryRecord {
    uint32_t occurrence = 0;  // the legacy occurrence number
    uint32_t stamp = 0;       // carried over unchanged, never interpreted
    int32_t alarm = 0;        // the alarm number, as the alarm's "Id" reads in hexadecimal
    uint8_t state = 0;        // 1, 2 or 4; other values are passed on as they are
};

// Reads a legacy alarm history file: an 11-byte header starting with "ALARM", then 13-byte
// records up to the end of the file.
class QMSUPPORT_API AlarmHistoryReader : public HistoryFileReader {
  public:
    static constexpr size_t kHeaderSize = 11;
    static constexpr size_t kRecordSize = 13;

    explicit AlarmHistoryReader(CxFile& file) : HistoryFileReader(file) {}

    // Reads the header; call once, before the records.
    HeaderState ReadHeader();
    // The header as read (its first bytes, when it was Short).
    const uint8_t* Header() const { return header_; }
    // Reads the next record; false at the end of the file.
    bool Next(AlarmHistoryRecord& record);

  private:
    uint8_t header_[kHeaderSize] = {};
};
