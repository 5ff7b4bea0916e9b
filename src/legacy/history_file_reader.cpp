#include <qmsupport/images/cx_file.h>
#include <qmsupport/legacy/alarm_history_reader.h>
#include <qmsupport/legacy/event_history.h>
#include <qmsupport/legacy/history_file_reader.h>

#include "legacy/history_bytes.h"

#include <algorithm>
#include <cstring>

using namespace qm::legacy;

HistoryFileReader::~HistoryFileReader() = default;

size_t HistoryFileReader::ReadBounded(uint8_t* buffer, size_t capacity, size_t size) {
    size = std::min(size, capacity);
    size_t done = 0;
    while (done < size) {
        const size_t n = file_.Read(buffer + done, 1, size - done);
        if (n == 0 || n > size - done) {
            break;
        }
        done += n;
    }
    offset_ += done;
    return done;
}

HistoryFileReader::HeaderState HistoryFileReader::ReadHeader(uint8_t* header, size_t size,
                                                             const char* magic, size_t magicSize) {
    const size_t got = ReadBounded(header, size, size);
    if (got < size) {
        tail_ = got;
        return HeaderState::Short;
    }
    return std::memcmp(header, magic, std::min(magicSize, size)) == 0 ? HeaderState::Valid
                                                                      : HeaderState::Foreign;
}

bool HistoryFileReader::ReadRecord(uint8_t* record, size_t size) {
    const size_t got = ReadBounded(record, size, size);
    if (got < size) {
        tail_ = got;
        return false;
    }
    return true;
}

HistoryFileReader::HeaderState AlarmHistoryReader::ReadHeader() {
    return HistoryFileReader::ReadHeader(header_, kHeaderSize, "ALARM", 5);
}

bool AlarmHistoryReader::Next(AlarmHistoryRecord& record) {
    uint8_t bytes[kRecordSize];
    if (!ReadRecord(bytes, kRecordSize)) {
        return false;
    }
    record.occurrence = ReadBigEndian32(bytes);
    record.stamp = ReadBigEndian32(bytes + 4);
    record.alarm = static_cast<int32_t>(ReadBigEndian32(bytes + 8));
    record.state = bytes[12];
    return true;
}

HistoryFileReader::HeaderState EventHistoryReader::ReadHeader() {
    return HistoryFileReader::ReadHeader(header_, EventHistoryFormat::kHeaderSize,
                                         EventHistoryFormat::kHeader,
                                         EventHistoryFormat::kHeaderSize);
}

bool EventHistoryReader::Next(EventHistoryRecord& record) {
    uint8_t bytes[EventHistoryFormat::kRecordSize];
    if (!ReadRecord(bytes, sizeof bytes)) {
        return false;
    }
    record.occurrence = GuidFromHistoryBytes(bytes);
    record.stamp = ReadBigEndian32(bytes + 16);
    record.event = GuidFromHistoryBytes(bytes + 20);
    record.state = bytes[36];
    record.reserved = ReadBigEndian32(bytes + 37);
    return true;
}

EventHistoryWriter::~EventHistoryWriter() = default;

bool EventHistoryWriter::WriteHeader() {
    return file_.Write(EventHistoryFormat::kHeader, 1, EventHistoryFormat::kHeaderSize) ==
           EventHistoryFormat::kHeaderSize;
}

bool EventHistoryWriter::Write(const EventHistoryRecord& record) {
    uint8_t bytes[EventHistoryFormat::kRecordSize];
    GuidToHistoryBytes(record.occurrence, bytes);
    WriteBigEndian32(record.stamp, bytes + 16);
    GuidToHistoryBytes(record.event, bytes + 20);
    bytes[36] = record.state;
    WriteBigEndian32(record.reserved, bytes + 37);
    return file_.Write(bytes, 1, sizeof bytes) == sizeof bytes;
}

void GuidToHistoryBytes(const QMGUID& guid, uint8_t bytes[16]) {
    WriteBigEndian32(guid.Data1, bytes);
    WriteBigEndian16(guid.Data2, bytes + 4);
    WriteBigEndian16(guid.Data3, bytes + 6);
    std::memcpy(bytes + 8, guid.Data4, 8);
}

QMGUID GuidFromHistoryBytes(const uint8_t bytes[16]) {
    QMGUID guid;
    guid.Data1 = ReadBigEndian32(bytes);
    guid.Data2 = ReadBigEndian16(bytes + 4);
    guid.Data3 = ReadBigEndian16(bytes + 6);
    std::memcpy(guid.Data4, bytes + 8, 8);
    return guid;
}
