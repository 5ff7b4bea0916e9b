#pragma once

#include <qmsupport/legacy/alarm_history_reader.h>
#include <qmsupport/legacy/event_history.h>
#include <qmsupport/legacy/legacy_conversion_observer.h>
#include <qmsupport/toolsapi/identifiers.h>

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace qm::legacy {

// Hashes the numbers read from a file under a key drawn for each map. A number's own value as
// its hash would let a file pick numbers that all fall into one bucket, so that every look-up
// walks all of them.
class KeyedNumberHash {
  public:
    KeyedNumberHash();

    // Each run of 65,536 numbers gets a place drawn from the key by the finalizer of
    // SplitMix64, and keeps its order within it. Numbers that follow each other, as
    // occurrences do, stay in neighbouring buckets of their own, as with their own values.
    // No choice of numbers puts more than 65,536 / buckets + 1 numbers of one run into one
    // bucket, and the runs fall where the key puts them, so a file can neither make a look-up
    // walk more than a few hundred numbers nor make the work grow with the square of its size.
    // The hash has 32 bits, as a number's own value has, so that finding the bucket stays a
    // short division.
    size_t operator()(uint32_t number) const noexcept {
        uint64_t x = (number >> 16) ^ key_;
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
        return static_cast<size_t>(((x ^ (x >> 31)) >> 48) << 16 | (number & 0xFFFF));
    }

  private:
    uint64_t key_ = 0;
};

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
    std::unordered_map<int32_t, QMGUID, KeyedNumberHash> alarms_;
    std::unordered_map<uint32_t, Occurrence, KeyedNumberHash> open_;
};

// The event state of a legacy state: on and off change places, the rest stays.
inline uint8_t EventStateOf(uint8_t legacyState) {
    return legacyState == 1 ? 2 : legacyState == 2 ? 1 : legacyState;
}

}  // namespace qm::legacy
