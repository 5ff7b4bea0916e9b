// Any text as the journal of an interrupted run or as an undo record: read or refused, never
// a crash; what was read is written and read back the same.

#include "install/swap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace qm::install;

bool SameJournal(const Journal& a, const Journal& b) {
    return a.state == b.state &&
           (a.state != "swapping" ||
            (a.swap.kind == b.swap.kind && a.swap.incoming == b.swap.incoming &&
             a.swap.outgoing == b.swap.outgoing && a.swap.keepOutgoing == b.swap.keepOutgoing &&
             a.swap.backupForm == b.swap.backupForm && a.before == b.before && a.after == b.after));
}

bool SameRecord(const UndoRecord& a, const UndoRecord& b) {
    if (a.backup != b.backup || a.backupForm != b.backupForm ||
        a.shared.size() != b.shared.size()) {
        return false;
    }
    for (size_t i = 0; i < a.shared.size(); ++i) {
        if (a.shared[i].file != b.shared[i].file || a.shared[i].size != b.shared[i].size ||
            a.shared[i].mtime != b.shared[i].mtime) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Places places = Places::For("/srv/plant", "migrate27");
    try {
        const Journal journal = ParseJournal(text, places);
        if (!SameJournal(journal, ParseJournal(JournalText(places, journal), places))) {
            std::abort();
        }
    } catch (const Failure&) {
        // A damaged journal is refused, as it must be.
    }
    UndoRecord record;
    if (ParseUndoRecord(text, record)) {
        UndoRecord again;
        if (!ParseUndoRecord(UndoRecordText(record), again) || !SameRecord(record, again)) {
            std::abort();
        }
    }
    return 0;
}
