#include "legacy/alarm_history_conversion.h"

#include <sys/random.h>

namespace qm::legacy {

KeyedNumberHash::KeyedNumberHash() {
    if (getrandom(&key_, sizeof key_, 0) != static_cast<ssize_t>(sizeof key_)) {
        key_ = 0x9e3779b97f4a7c15ULL;  // a fixed key, when the system gives no random bytes
    }
}

bool AlarmHistoryConversion::ConvertRecord(const AlarmHistoryRecord& record,
                                           EventHistoryWriter& out, bool& writeFailed) {
    writeFailed = false;
    auto found = open_.find(record.occurrence);
    if (found == open_.end()) {
        if (open_.size() >= maxOpen_) {
            return false;
        }
        Occurrence occurrence{};
        NewGUID(occurrence.occurrence);
        auto alarm = alarms_.find(record.alarm);
        if (alarm != alarms_.end()) {
            occurrence.event = alarm->second;
        } else {
            NewGUID(occurrence.event);
        }
        found = open_.emplace(record.occurrence, occurrence).first;
    }
    Occurrence& occurrence = found->second;
    const uint8_t state = EventStateOf(record.state);
    if (state == 1 || state == 2 || state == 4) {
        occurrence.mask |= state;
    }
    EventHistoryRecord event;
    event.occurrence = occurrence.occurrence;
    event.stamp = record.stamp;
    event.event = occurrence.event;
    event.state = state;
    if (!out.Write(event)) {
        writeFailed = true;
        return false;
    }
    if (occurrence.mask == 7) {
        open_.erase(found);
    }
    return true;
}

bool AlarmHistoryConversion::Convert(AlarmHistoryReader& in, EventHistoryWriter& out,
                                     const QMWideString& path) {
    AlarmHistoryRecord record;
    for (;;) {
        const uint64_t offset = in.Offset();
        if (!in.Next(record)) {
            break;
        }
        bool writeFailed = false;
        if (!ConvertRecord(record, out, writeFailed)) {
            if (writeFailed) {
                return false;
            }
            if (observer_ != nullptr) {
                observer_->OnOccurrenceLimit(path, offset);
            }
            return true;
        }
    }
    if (in.TailBytes() != 0 && observer_ != nullptr) {
        observer_->OnHistoryTruncated(path, in.Offset() - in.TailBytes(), in.TailBytes());
    }
    return true;
}

}  // namespace qm::legacy
