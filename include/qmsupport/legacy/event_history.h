#pragma once

#include <qmsupport/export.h>
#include <qmsupport/legacy/history_file_reader.h>
#include <qmsupport/toolsapi/identifiers.h>

#include <cstddef>
#include <cstdint>

class CxFile;

// One record of an event history file. GUIDs are stored with their first three fields
// big-endian and their last eight bytes as they are, so the 16 bytes read as the digits of
// the GUID's text.
struct EventHistoryRecord {
    QMGUID occurrence = {};
    uint32_t stamp = 0;  // stored big-endian
    QMGUID event = {};
    uint8_t state = 0;      // 1 off, 2 on, 4 acknowledged; other values as they came
    uint32_t reserved = 0;  // zero when written
};

// The event history file format: the header "EVENTv2.00" and a NUL, then 41-byte records.
struct EventHistoryFormat {
    static constexpr size_t kHeaderSize = 11;
    static constexpr size_t kRecordSize = 41;
    static constexpr char kHeader[kHeaderSize + 1] = "EVENTv2.00";  // with its NUL: 11 bytes
};

class QMSUPPORT_API EventHistoryReader : public HistoryFileReader {
  public:
    explicit EventHistoryReader(CxFile& file) : HistoryFileReader(file) {}

    // Reads the header; call once, before the records. The whole header must match.
    HeaderState ReadHeader();
    const uint8_t* Header() const { return header_; }
    // Reads the next record; false at the end of the file.
    bool Next(EventHistoryRecord& record);

  private:
    uint8_t header_[EventHistoryFormat::kHeaderSize] = {};
};

// Writes an event history file, or appends records to one, through the given file.
class QMSUPPORT_API EventHistoryWriter {
  public:
    explicit EventHistoryWriter(CxFile& file) : file_(file) {}
    EventHistoryWriter(const EventHistoryWriter&) = delete;
    EventHistoryWriter& operator=(const EventHistoryWriter&) = delete;
    virtual ~EventHistoryWriter();

    // Each returns false when the file took fewer bytes than given.
    bool WriteHeader();
    bool Write(const EventHistoryRecord& record);

  private:
    CxFile& file_;
};

// A GUID in the byte order of the history files, and back.
QMSUPPORT_API void GuidToHistoryBytes(const QMGUID& guid, uint8_t bytes[16]);
QMSUPPORT_API QMGUID GuidFromHistoryBytes(const uint8_t bytes[16]);
