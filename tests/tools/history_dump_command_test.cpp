// End-to-end tests of `qmsupport history-dump`, run as a separate process.

#include <qmsupport/images/cx_file.h>
#include <qmsupport/legacy/event_history.h>

#include "common/history_test_util.h"
#include "common/run_program.h"

#include <gtest/gtest.h>

#include <string>

TEST(HistoryDumpCommand, PrintsAlarmRecordsAndTheCutTail) {
    TempDir dir;
    dir.WriteText(
        "a.alm", AlarmFileBytes({{100, 0x5F000001, 0x1A, 1}, {7, 0xFFFFFFFF, -1, 4}}) + "\x01\x02");
    ProgramResult text = RunCommand(dir, "history-dump", {"a.alm"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out,
              "format: alarm history\n"
              "header: 414C41524D2076312E300A\n"
              "record 0: occurrence 100 stamp 5F000001 alarm 0000001A state 1\n"
              "record 1: occurrence 7 stamp FFFFFFFF alarm FFFFFFFF state 4\n"
              "records: 2\n"
              "truncated: 2 bytes at offset 37 make no complete record\n");
    ProgramResult json = RunCommand(dir, "history-dump", {"--json", "a.alm"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out,
              "{\"format\":\"alarm\",\"header\":\"414C41524D2076312E300A\",\"records\":["
              "{\"occurrence\":\"100\",\"stamp\":\"5F000001\",\"alarm\":\"0000001A\",\"state\":1},"
              "{\"occurrence\":\"7\",\"stamp\":\"FFFFFFFF\",\"alarm\":\"FFFFFFFF\",\"state\":4}],"
              "\"truncated\":{\"offset\":37,\"bytes\":2}}\n");
}

TEST(HistoryDumpCommand, PrintsEventGuids) {
    TempDir dir;
    EventHistoryRecord record;
    record.occurrence = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
    record.event = {0xFEDCBA98, 0x7654, 0x3210, {9, 10, 11, 12, 13, 14, 15, 16}};
    record.stamp = 0x10;
    record.state = 2;
    CxMemFile file;
    file.Open();
    EventHistoryWriter writer(file);
    ASSERT_TRUE(writer.WriteHeader() && writer.Write(record));
    dir.WriteText("Events.eve",
                  std::string(reinterpret_cast<const char*>(file.GetBuffer(false)), 52));
    ProgramResult text = RunCommand(dir, "history-dump", {"Events.eve"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("format: event history\n"), std::string::npos);
    EXPECT_NE(text.out.find("record 0: occurrence {01234567-89AB-CDEF-0102-030405060708} "
                            "stamp 00000010 event {FEDCBA98-7654-3210-090A-0B0C0D0E0F10} "
                            "state 2\n"),
              std::string::npos)
        << text.out;
    EXPECT_EQ(text.out.find("truncated"), std::string::npos);
}

TEST(HistoryDumpCommand, FailsClearlyOnForeignFilesAndUsage) {
    TempDir dir;
    dir.WriteText("foreign.eve", "EVENTv1.00 and more bytes than a header");
    dir.WriteText("short.alm", "ALAR");
    ProgramResult foreign = RunCommand(dir, "history-dump", {"foreign.eve"});
    EXPECT_EQ(foreign.status, 1);
    EXPECT_TRUE(foreign.out.empty());
    EXPECT_NE(foreign.err.find("'foreign.eve' is no alarm history"), std::string::npos);
    ProgramResult cut = RunCommand(dir, "history-dump", {"short.alm"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find("shorter than"), std::string::npos);
    EXPECT_EQ(RunCommand(dir, "history-dump", {"missing.alm"}).status, 1);
    EXPECT_EQ(RunCommand(dir, "history-dump", {"."}).status, 1);
    EXPECT_EQ(RunCommand(dir, "history-dump", {}).status, 2);
    EXPECT_EQ(RunCommand(dir, "history-dump", {"a", "b"}).status, 2);
    ProgramResult help = RunCommand(dir, "history-dump", {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: qmsupport history-dump FILE [--json]"), std::string::npos);
}
