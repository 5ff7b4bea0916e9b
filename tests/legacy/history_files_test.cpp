#include <qmsupport/images/cx_file.h>
#include <qmsupport/legacy/alarm_history_reader.h>
#include <qmsupport/legacy/event_history.h>
#include <qmsupport/toolsapi/codecs.h>

#include "common/history_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using HeaderState = HistoryFileReader::HeaderState;

// A memory file that hands out at most `step` bytes per read, as a pipe or a network file
// system may.
class TrickleFile : public CxMemFile {
  public:
    TrickleFile(std::string& bytes, size_t step)
        : CxMemFile(reinterpret_cast<unsigned char*>(bytes.data()),
                    static_cast<uint32_t>(bytes.size())),
          step_(step) {}
    size_t Read(void* buffer, size_t size, size_t count) override {
        return CxMemFile::Read(buffer, size, count < step_ ? count : step_);
    }

  private:
    size_t step_;
};

}  // namespace

TEST(AlarmHistoryReader, DecodesBigEndianFieldsThroughShortReads) {
    std::string bytes = AlarmFileBytes({{0x01020304, 0xA0B0C0D0, -2, 1}, {7, 0, 0x10, 4}});
    bytes += "\x01\x02\x03";  // a partial record
    for (size_t step : {1, 5, 64}) {
        TrickleFile file(bytes, step);
        AlarmHistoryReader reader(file);
        ASSERT_EQ(reader.ReadHeader(), HeaderState::Valid);
        AlarmHistoryRecord r;
        ASSERT_TRUE(reader.Next(r));
        EXPECT_EQ(r.occurrence, 0x01020304u);
        EXPECT_EQ(r.stamp, 0xA0B0C0D0u);
        EXPECT_EQ(r.alarm, -2);
        EXPECT_EQ(r.state, 1);
        ASSERT_TRUE(reader.Next(r));
        EXPECT_EQ(r.alarm, 0x10);
        EXPECT_EQ(r.state, 4);
        EXPECT_FALSE(reader.Next(r));
        EXPECT_EQ(reader.TailBytes(), 3u);
        EXPECT_EQ(reader.Offset(), bytes.size());
    }
}

// Only the first five bytes name the format.
TEST(AlarmHistoryReader, TellsShortAndForeignHeaders) {
    for (auto [header, state] : {std::pair{"ALARM", HeaderState::Short},
                                 {"ALARX v1.0\n", HeaderState::Foreign},
                                 {"ALARMxxxxxx", HeaderState::Valid}}) {
        std::string bytes = header;
        TrickleFile file(bytes, 64);
        AlarmHistoryReader reader(file);
        EXPECT_EQ(reader.ReadHeader(), state) << header;
        EXPECT_EQ(reader.TailBytes(), state == HeaderState::Short ? 5u : 0u) << header;
    }
}

TEST(EventHistory, WritesTheStoredLayoutAndReadsItBack) {
    EventHistoryRecord record;
    ASSERT_TRUE(NewGUID(record.occurrence));
    ASSERT_TRUE(NewGUID(record.event));
    record.stamp = 0x11223344;
    record.state = 2;
    CxMemFile file;
    file.Open();
    EventHistoryWriter writer(file);
    ASSERT_TRUE(writer.WriteHeader());
    ASSERT_TRUE(writer.Write(record));
    ASSERT_EQ(file.Size(), 52);
    const std::string bytes(reinterpret_cast<const char*>(file.GetBuffer(false)), 52);
    EXPECT_EQ(bytes.substr(0, 11), std::string("EVENTv2.00\0", 11));

    // The record's bytes in hexadecimal: the stamp big-endian, the event's 16 GUID bytes as
    // the digits of its text, the state and four zeros.
    std::string hex, digits;
    for (const unsigned char c : bytes.substr(11)) {
        hex += "0123456789ABCDEF"[c >> 4];
        hex += "0123456789ABCDEF"[c & 15];
    }
    wchar_t text[qm::kGuidTextSize];
    for (const char c : qm::Utf8(guidtow(record.event, text))) {
        if (c != '{' && c != '}' && c != '-') {
            digits += c;
        }
    }
    EXPECT_EQ(hex.substr(2 * 16), "11223344" + digits + "0200000000");

    EventFile back = ReadEventBytes(bytes);
    ASSERT_EQ(back.header, HeaderState::Valid);
    ASSERT_EQ(back.records.size(), 1u);
    EXPECT_EQ(back.records[0].occurrence, record.occurrence);
    EXPECT_EQ(back.records[0].event, record.event);
    EXPECT_EQ(back.records[0].stamp, record.stamp);
    EXPECT_EQ(back.records[0].state, 2);

    // The NUL closing the header counts.
    std::string noNul = bytes;
    noNul[10] = ' ';
    EXPECT_EQ(ReadEventBytes(noNul).header, HeaderState::Foreign);
    EXPECT_EQ(ReadEventBytes(bytes.substr(0, 51)).tailBytes, 40u);
}
