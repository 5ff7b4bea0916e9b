#include <qmsupport/legacy/transform_alarm_cfg_to_event_xml.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/identifiers.h>

#include "common/history_test_util.h"
#include "common/temp_dir.h"
#include "legacy/alarm_history_conversion.h"
#include "legacy/document_text.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using HeaderState = HistoryFileReader::HeaderState;

struct Truncation {
    std::wstring path;
    uint64_t offset;
    uint64_t bytes;
};

class RecordingObserver : public QMLegacyConversionObserver {
  public:
    void OnHistoryTruncated(const QMWideString& path, uint64_t offset, uint64_t bytes) override {
        truncations.push_back({path.c_str(), offset, bytes});
    }
    void OnOccurrenceLimit(const QMWideString&, uint64_t offset) override {
        limits.push_back(offset);
    }
    std::vector<Truncation> truncations;
    std::vector<uint64_t> limits;
};

// An installation laid out as the conversion expects it: the legacy history in DATA beside
// the current directory "bin", the configuration in cfg and the new history in history.
class AlarmConversion : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.MakeDirectory("bin");
        dir_.MakeDirectory("DATA");
        dir_.MakeDirectory("cfg");
        setup_.SetCfgPath(dir_.WidePath("cfg/").c_str());
        setup_.SetDataPath(dir_.WidePath("history/").c_str());
        cwd_.emplace(dir_.Path("bin"));
    }
    void TearDown() override { cwd_.reset(); }

    // Runs the conversion over a legacy alarm tree given as XML text.
    void Convert(const char* alarmsXml = "<legacy/>") {
        XmlDocument legacy;
        ASSERT_TRUE(legacy.Parse(alarmsXml));
        QMTransformAlarmCfgToEventXml transform;
        transform.SetObserver(&observer_);
        EXPECT_TRUE(transform.AlarmQMCfgFile2EventsXml(&legacy.Root()));
    }
    std::string Events() const { return dir_.ReadText("cfg/default.xeve"); }
    // The "id" of the event whose name is `name` in default.xeve.
    std::wstring EventId(const wchar_t* name) const {
        XmlDocument doc;
        EXPECT_TRUE(doc.Load(dir_.WidePath("cfg/default.xeve").c_str()));
        const XmlDocument::XmlNode* event =
            doc.Root().Node((std::wstring(L"events/event?name=") + name).c_str());
        return event != nullptr ? event->Value(L"id", L"").str() : std::wstring();
    }

    TempDir dir_;
    QMTarvioSetup setup_;
    std::optional<CurrentDirectory> cwd_;
    RecordingObserver observer_;
};

const char* kAlarmTree = R"(<legacy>
  <AlarmGroups>
    <AlarmGroup Name="Boilers" Id="G1"/>
    <AlarmGroup Name="Nameless id" Id=""/>
    <Other Name="x" Id="G9"/>
  </AlarmGroups>
  <Alarms>
    <Alarm ShortText="High" Id="1A" LongText="Too hot" Delay="5" SaveEvent="T" AlarmGroupId="G1">
      <Expression Operator="&gt;"><Left Variable="B1#T"/><Right Constant="90"/></Expression>
    </Alarm>
    <Alarm ShortText="NoId" Id=""/>
    <Alarm ShortText="" Id="2"/>
    <Alarm ShortText="Lost group" Id="2" AlarmGroupId="G7"/>
    <Alarm ShortText="Twin" Id="1a"/>
  </Alarms>
</legacy>)";

// The bytes of a checked-in hex dump: pairs of digits, blanks and "#" comments to the end of
// the line.
std::string ReadHexDump(const std::string& name) {
    std::ifstream in(std::string(QMSUPPORT_LEGACY_DATA_DIR) + "/" + name);
    EXPECT_TRUE(in.good()) << name;
    std::string bytes, line;
    while (std::getline(in, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string word;
        while (words >> word) {
            bytes.push_back(static_cast<char>(std::stoul(word, nullptr, 16)));
        }
    }
    return bytes;
}

}  // namespace

TEST_F(AlarmConversion, GoldenEventHistory) {
    dir_.WriteText("DATA/Alarms0.alm", ReadHexDump("golden.alm.hex"));
    qm::GuidSeed seed;
    seed.fill(0x5A);
    qm::ScopedGuidSeed seeded(seed);
    ASSERT_NO_FATAL_FAILURE(Convert(R"(<legacy>
      <AlarmGroups><AlarmGroup Name="Boilers" Id="G1"/></AlarmGroups>
      <Alarms><Alarm ShortText="High" Id="1A" AlarmGroupId="G1"/></Alarms></legacy>)"));
    EXPECT_EQ(dir_.ReadText("history/Events0.eve"), ReadHexDump("golden.eve.hex"));
    ASSERT_EQ(observer_.truncations.size(), 1u);
    EXPECT_EQ(observer_.truncations[0].offset, 11u + 6 * 13);
    EXPECT_EQ(observer_.truncations[0].bytes, 5u);
}

// Alarms without an id or a text are dropped, and a group that is not there is left out;
// attributes and children come in their fixed order.
TEST_F(AlarmConversion, WritesEventsAndGroupsInOrder) {
    ASSERT_NO_FATAL_FAILURE(Convert(kAlarmTree));
    XmlDocument doc;
    ASSERT_TRUE(doc.Load(dir_.WidePath("cfg/default.xeve").c_str()));
    const std::string actions =
        "<actions><activate/><while/><deactivate/><acknowledge/></actions></event>";
    const std::string plain =
        "description=\"\" condition=\"\" notify=\"T\" record=\"\" delayToActivate=\"\" "
        "delayToDeactivate=\"0\" annotation=\"\"><eventsGroups/>" +
        actions;
    EXPECT_EQ(NumberedGuids(FlatText(doc)),
              "<main><eventsGroups><eventsGroup id=\"{GUID1}\" name=\"Boilers\"/></eventsGroups>"
              "<events><event id=\"{GUID2}\" name=\"High\" description=\"Too hot\" "
              "condition=\"[B1#T] &gt; 90\" notify=\"T\" record=\"T\" delayToActivate=\"5\" "
              "delayToDeactivate=\"0\" annotation=\"\"><eventsGroups eventsGroup=\"{GUID1}\"/>" +
                  actions + "<event id=\"{GUID3}\" name=\"Lost group\" " + plain +
                  "<event id=\"{GUID4}\" name=\"Twin\" " + plain + "</events></main>");

    // A second run keeps what the file holds and appends.
    ASSERT_NO_FATAL_FAILURE(Convert(kAlarmTree));
    ASSERT_TRUE(doc.Load(dir_.WidePath("cfg/default.xeve").c_str()));
    EXPECT_EQ(doc.Root().Node(L"events")->Size(), 6u);
    EXPECT_EQ(doc.Root().Node(L"eventsGroups")->Size(), 2u);
}

TEST_F(AlarmConversion, HistoryRoundTripKeepsStampsStatesAndOccurrences) {
    std::mt19937 random(11);
    // Occurrence numbers 1..40 over alarms 0x1A (known, first of two) and 0x77 (unknown);
    // each state from 1 to 4 at random, so occurrences close at different times.
    std::vector<AlarmHistoryRecord> legacy(400);
    for (AlarmHistoryRecord& r : legacy) {
        r.occurrence = 1 + random() % 40;
        r.stamp = static_cast<uint32_t>(random());
        r.alarm = r.occurrence % 2 ? 0x1A : 0x77;
        r.state = static_cast<uint8_t>(1 + random() % 4);
    }
    dir_.WriteText("DATA/Alarms200703.alm", AlarmFileBytes({legacy.begin(), legacy.begin() + 200}));
    dir_.WriteText("DATA/alarms200704.alm", AlarmFileBytes({legacy.begin() + 200, legacy.end()}));
    ASSERT_NO_FATAL_FAILURE(Convert(kAlarmTree));

    std::vector<EventHistoryRecord> events;
    for (const char* name : {"history/Events200703.eve", "history/Events200704.eve"}) {
        EventFile file = ReadEventBytes(dir_.ReadText(name));
        ASSERT_EQ(file.header, HeaderState::Valid) << name;
        EXPECT_EQ(file.tailBytes, 0u);
        events.insert(events.end(), file.records.begin(), file.records.end());
    }
    ASSERT_EQ(events.size(), legacy.size());

    // Model of the occurrence bookkeeping: the index of the record that opened each open
    // occurrence, and its mask.
    const std::wstring high = EventId(L"High");
    ASSERT_FALSE(high.empty());
    auto text = [](const QMGUID& guid) {
        wchar_t buffer[qm::kGuidTextSize];
        return std::wstring(guidtow(guid, buffer));
    };
    std::map<uint32_t, std::pair<size_t, int>> open;
    std::set<std::wstring> occurrences, unknownEvents;  // every GUID drawn is a fresh one
    for (size_t i = 0; i < legacy.size(); ++i) {
        const AlarmHistoryRecord& in = legacy[i];
        const EventHistoryRecord& out = events[i];
        EXPECT_EQ(out.stamp, in.stamp);
        const int expectedState = in.state == 1 ? 2 : in.state == 2 ? 1 : in.state;
        EXPECT_EQ(out.state, expectedState);
        EXPECT_EQ(out.reserved, 0u);
        auto found = open.find(in.occurrence);
        if (found == open.end()) {
            EXPECT_TRUE(occurrences.insert(text(out.occurrence)).second) << i;
            found = open.emplace(in.occurrence, std::make_pair(i, 0)).first;
            if (in.alarm == 0x1A) {
                EXPECT_EQ(text(out.event), high);
            } else {
                EXPECT_NE(text(out.event), high);
                EXPECT_TRUE(unknownEvents.insert(text(out.event)).second) << i;
            }
        } else {
            EXPECT_EQ(out.occurrence, events[found->second.first].occurrence) << i;
            EXPECT_EQ(out.event, events[found->second.first].event) << i;
        }
        if (expectedState != 3) {
            found->second.second |= expectedState;
        }
        if (found->second.second == 7) {
            open.erase(found);
        }
    }
    EXPECT_TRUE(observer_.truncations.empty());
}

TEST_F(AlarmConversion, AppendsWithoutHeaderAndCopesWithHeaderOnlyFiles) {
    dir_.WriteText("DATA/Alarms1.alm", AlarmFileBytes({}));
    dir_.WriteText("DATA/Alarms2.alm", AlarmFileBytes({{5, 9, 1, 1}}));
    dir_.WriteText("DATA/Alarms3.alm", "ELSE and not an alarm file");
    ASSERT_NO_FATAL_FAILURE(Convert());
    EXPECT_EQ(dir_.ReadText("history/Events1.eve"), std::string("EVENTv2.00\0", 11));
    EXPECT_FALSE(dir_.Exists("history/Events3.eve"));  // a foreign file is skipped silently
    EXPECT_TRUE(observer_.truncations.empty());

    const std::string once = dir_.ReadText("history/Events2.eve");
    ASSERT_EQ(once.size(), 11u + 41u);
    ASSERT_NO_FATAL_FAILURE(Convert());
    const std::string twice = dir_.ReadText("history/Events2.eve");
    ASSERT_EQ(twice.size(), 11u + 2 * 41u);
    EXPECT_EQ(twice.substr(0, once.size()), once);
    EXPECT_EQ(dir_.ReadText("history/Events1.eve").size(), 11u);
    EventFile back = ReadEventBytes(twice);
    ASSERT_EQ(back.records.size(), 2u);
    EXPECT_NE(back.records[0].occurrence, back.records[1].occurrence);  // another run
}

TEST_F(AlarmConversion, NeverWritesThroughAHardLink) {
    dir_.WriteText("DATA/Alarms7.alm", AlarmFileBytes({{1, 2, 3, 1}}));
    dir_.MakeDirectory("history");
    dir_.MakeDirectory("backup");
    const std::string old = std::string("EVENTv2.00\0", 11) + std::string(41, '\x01');
    dir_.WriteText("history/Events7.eve", old);
    ASSERT_EQ(
        link(dir_.Path("history/Events7.eve").c_str(), dir_.Path("backup/Events7.eve").c_str()), 0);
    ASSERT_NO_FATAL_FAILURE(Convert());
    EXPECT_EQ(dir_.ReadText("backup/Events7.eve"), old);
    const std::string now = dir_.ReadText("history/Events7.eve");
    ASSERT_EQ(now.size(), old.size() + 41);
    EXPECT_EQ(now.substr(0, old.size()), old);
}

TEST_F(AlarmConversion, ConvertsEveryCompleteRecordOfACutFile) {
    const std::string whole =
        AlarmFileBytes({{1, 0x10, 1, 1}, {1, 0x11, 1, 2}, {2, 0x12, 9, 1}, {1, 0x13, 1, 4}});
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        TempDir other;
        other.MakeDirectory("bin");
        other.MakeDirectory("DATA");
        other.WriteText("DATA/Alarms9.alm", whole.substr(0, cut));
        setup_.SetDataPath(other.WidePath("history/").c_str());
        CurrentDirectory cwd(other.Path("bin"));
        observer_.truncations.clear();
        ASSERT_NO_FATAL_FAILURE(Convert());
        if (cut < 11) {
            EXPECT_FALSE(other.Exists("history/Events9.eve"));
            ASSERT_EQ(observer_.truncations.size(), 1u);
            EXPECT_EQ(observer_.truncations[0].bytes, cut);
            continue;
        }
        EventFile out = ReadEventBytes(other.ReadText("history/Events9.eve"));
        const size_t complete = (cut - 11) / 13;
        ASSERT_EQ(out.records.size(), complete);
        for (size_t i = 0; i < complete; ++i) {
            EXPECT_EQ(out.records[i].stamp, 0x10u + i);
        }
        const size_t lost = (cut - 11) % 13;
        if (lost == 0) {
            EXPECT_TRUE(observer_.truncations.empty());
        } else {
            ASSERT_EQ(observer_.truncations.size(), 1u);
            EXPECT_EQ(observer_.truncations[0].offset, 11 + complete * 13);
            EXPECT_EQ(observer_.truncations[0].bytes, lost);
            EXPECT_NE(observer_.truncations[0].path.find(L"Alarms9.alm"), std::wstring::npos);
        }
    }
}

TEST(AlarmHistoryConversion, NumbersPickedForOneBucketSpreadOut) {
    // Multiples of the bucket count all land in one bucket when a number is its own hash.
    std::unordered_map<uint32_t, int, qm::legacy::KeyedNumberHash> numbers;
    numbers.reserve(size_t{1} << 16);
    const size_t buckets = numbers.bucket_count();
    for (uint32_t i = 0; i < 4096; ++i) {
        numbers.emplace(static_cast<uint32_t>(i * buckets), 0);
    }
    ASSERT_EQ(numbers.bucket_count(), buckets);
    size_t fullest = 0;
    for (size_t bucket = 0; bucket < buckets; ++bucket) {
        fullest = std::max(fullest, numbers.bucket_size(bucket));
    }
    EXPECT_LE(fullest, 8u);
}

TEST(AlarmHistoryConversion, StopsAFileAtTheOpenOccurrenceLimit) {
    RecordingObserver observer;
    qm::legacy::AlarmHistoryConversion conversion(&observer, 2);
    // Occurrence 1 closes, 2 and 3 stay open, 4 would be a third open one.
    std::string bytes = AlarmFileBytes({{1, 0, 0, 1},
                                        {1, 0, 0, 2},
                                        {1, 0, 0, 4},
                                        {2, 0, 0, 1},
                                        {3, 0, 0, 1},
                                        {2, 0, 0, 3},
                                        {4, 0, 0, 1},
                                        {2, 0, 0, 2}});
    CxMemFile in(reinterpret_cast<unsigned char*>(bytes.data()),
                 static_cast<uint32_t>(bytes.size()));
    AlarmHistoryReader reader(in);
    ASSERT_EQ(reader.ReadHeader(), HeaderState::Valid);
    CxMemFile out;
    out.Open();
    EventHistoryWriter writer(out);
    EXPECT_TRUE(conversion.Convert(reader, writer, L"x.alm"));
    EXPECT_EQ(out.Size(), 6 * 41);
    EXPECT_EQ(conversion.OpenOccurrences(), 2u);
    EXPECT_EQ(observer.limits, std::vector<uint64_t>{11 + 6 * 13});
}
