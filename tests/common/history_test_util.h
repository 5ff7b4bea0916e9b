#pragma once

// Builders and readers of binary history files for the tests.

#include <qmsupport/images/cx_file.h>
#include <qmsupport/legacy/alarm_history_reader.h>
#include <qmsupport/legacy/event_history.h>

#include <cstdint>
#include <string>
#include <vector>

// The bytes of a legacy alarm history file: its header, then the records, big-endian.
inline std::string AlarmFileBytes(const std::vector<AlarmHistoryRecord>& records,
                                  const std::string& header = "ALARM v1.0\n") {
    std::string bytes = header;
    auto put32 = [&bytes](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<char>(v >> shift));
        }
    };
    for (const AlarmHistoryRecord& r : records) {
        put32(r.occurrence);
        put32(r.stamp);
        put32(static_cast<uint32_t>(r.alarm));
        bytes.push_back(static_cast<char>(r.state));
    }
    return bytes;
}

struct EventFile {
    HistoryFileReader::HeaderState header = HistoryFileReader::HeaderState::Short;
    std::vector<EventHistoryRecord> records;
    uint64_t tailBytes = 0;
};

// Reads an event history file held in memory.
inline EventFile ReadEventBytes(const std::string& bytes) {
    std::string copy = bytes;
    CxMemFile file(reinterpret_cast<unsigned char*>(copy.data()),
                   static_cast<uint32_t>(copy.size()));
    EventHistoryReader reader(file);
    EventFile result;
    result.header = reader.ReadHeader();
    EventHistoryRecord record;
    while (result.header == HistoryFileReader::HeaderState::Valid && reader.Next(record)) {
        result.records.push_back(record);
    }
    result.tailBytes = reader.TailBytes();
    return result;
}
