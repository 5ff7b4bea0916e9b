#pragma once

#include <qmsupport/legacy/alarm_history_reader.h>
#include <qmsupport/legacy/event_history.h>
#include <qmsupport/legacy/legacy_conversion_observer.h>
#include <qmsupport/toolsapi/identifiers.h>

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace qm::legacy {

// Turns legacy alarm records into event records. The alarms and the open occurrences are
// kept for the whole run, across files, so that an occurrence that begins in one file and
// ends in the next keeps its GUID.
//
// A number stands at most once in each map, so a hash look-up answers exactly as a search
// from the front of the system's lists would: the first alarm of a number wins, and an
// occurrence stays open until it has been seen on, off and acknowledged.
class AlarmHistoryConversion {
  public:
    AlarmHistoryConversion(QMLegacyConversionObserver* observer, size_t maxOpenOccurrences)
        : observer_(observer), maxOpen_(maxOpenOccurrences) {}

    // Registers an alarm's event GUID; a later alarm of the same number is not looked at.
    void AddAlarm(int32_t number, const QMGUID& event) { alarms_.emplace(number, event); }

    // Converts the records that follow the header, up to the end of the file, a partial
    // record or a record past the open-occurrence limit; the observer hears of the last two,
    // under `path`. False when the output took fewer bytes than written.
    bool Convert(AlarmHistoryReader& in, EventHistoryWriter& out, const QMWideString& path);

    // Converts one record and writes it; false when the occurrence limit forbids it (nothing
    // is written then) or the write fails (`writeFailed` tells which).
    bool ConvertRecord(const AlarmHistoryRecord& record, EventHistoryWriter& out,
                       bool& writeFailed);

    size_t OpenOccurrences() const { return open_.size(); }

  private:
    struct Occurrence {
        QMGUID occurrence;
        QMGUID event;
        uint8_t mask;
    };

    QMLegacyConversionObserver* observer_;
    size_t maxOpen_;
    std::unordered_map<int32_t, QMGUID> alarms_;
    std::unordered_map<uint32_t, Occurrence> open_;
};

// The event state of a legacy state: on and off change places, the rest stays.
inline uint8_t EventStateOf(uint8_t legacyState) {
    return legacyState == 1 ? 2 : legacyState == 2 ? 1 : legacyState;
}

}  // namespace qm::legacy
