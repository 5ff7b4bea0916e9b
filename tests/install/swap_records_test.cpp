// The undo record and the journal read back what was written, names of any shape included.

#include "install/swap.h"

#include <gtest/gtest.h>

namespace {

using namespace qm::install;

TEST(UndoRecord, KeepsSharedNamesWithLeadingSpacesAndLineBreaks) {
    UndoRecord record;
    record.backup = "/srv/plant.before-2.7.x\nline";
    record.backupForm = "link";
    record.shared = {{"  two spaces.std", 256, -1}, {"Data/a\\b\nc.std", 0, 1230768000000000000}};
    UndoRecord read;
    ASSERT_TRUE(ParseUndoRecord(UndoRecordText(record), read));
    EXPECT_EQ(read.backup, record.backup);
    ASSERT_EQ(read.shared.size(), 2u);
    EXPECT_EQ(read.shared[0].file, "  two spaces.std");
    EXPECT_EQ(read.shared[0].mtime, -1);
    EXPECT_EQ(read.shared[1].file, "Data/a\\b\nc.std");
    EXPECT_EQ(read.shared[1].mtime, 1230768000000000000);
    // A line whose numbers do not parse is left out, not read as a name.
    UndoRecord damaged;
    ASSERT_TRUE(ParseUndoRecord(
        "qmsupport migrate27 undo 1\nbackup=/b\nshared=12x 3 f\nshared=99999999999999999999 1 f\n",
        damaged));
    EXPECT_TRUE(damaged.shared.empty());
}

TEST(Journal, IsRefusedWhenItNamesAnotherInstallation) {
    const Places places = Places::For("/srv/plant", "migrate27");
    Journal journal;
    journal.state = "staging";
    EXPECT_EQ(ParseJournal(JournalText(places, journal), places).state, "staging");
    EXPECT_THROW(ParseJournal(JournalText(Places::For("/srv/other", "migrate27"), journal), places),
                 Failure);
}

}  // namespace
