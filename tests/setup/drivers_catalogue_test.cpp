#include <qmsupport/setup/tarvio_setup.h>

#include "setup/setup_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <set>
#include <string>

namespace {

// Every feature attribute of the two editors' files set to "T".
constexpr const char* kAllScadaFeatures =
    "<scada labels=\"T\" dates=\"T\" images=\"T\" formules=\"T\" conditioned=\"T\""
    " showScada=\"T\" showReport=\"T\" showDevice=\"T\" showActivedEvents=\"T\""
    " showHistoricEvents=\"T\" showGraph=\"T\" launchApp=\"T\" forceVariables=\"T\""
    " floodFill=\"T\" parkingSensor=\"T\" parkingDisplay=\"T\" dynamicImage=\"T\""
    " parkingMultiDisplay=\"T\" coSensor=\"T\"/>";
constexpr const char* kAllReportFeatures =
    "<report labels=\"T\" dates=\"T\" images=\"T\" formules=\"T\" conditioned=\"T\""
    " reportGraph=\"T\"/>";

}  // namespace

TEST(DriversCatalogue, QueriesBeforeAnyDriversSetup) {
    QMTarvioSetup setup;
    EXPECT_STREQ(setup.getDriverFamily(8), L"CONVERTER");
    EXPECT_EQ(setup.getAllowedSize(8), 29);
    EXPECT_EQ(setup.getAllowedType(8, 5), 7);
    EXPECT_EQ(setup.getAllowedMax(8, 5), 65535);
    EXPECT_EQ(setup.getAllowedMax(12, 2), 128);
    EXPECT_EQ(setup.getAllowedType(12, 3), -1);
    EXPECT_EQ(setup.getAllowedType(12, -1), -1);
    EXPECT_EQ(setup.getAllowedMax(L"COM_PARKING", 1), 10);
    EXPECT_TRUE(setup.HasDisplayedView(L"IPCAM"));
    EXPECT_FALSE(setup.HasAnalogView(61));
    EXPECT_FALSE(setup.HasResource(28));
    EXPECT_FALSE(setup.HasResource(-1));
    EXPECT_STREQ(setup.DriverName(13), L"");  // no display names before the drivers setup
    EXPECT_EQ(setup.DriverIndex(L"COM_PARKING"), 12);
    EXPECT_EQ(setup.DriverIndex(L"R$SYS"), 65);
    EXPECT_EQ(setup.DriverIndex(L"r$sys"), -1);
    EXPECT_EQ(setup.DriverIndex(nullptr), -1);

    // Groups 27, 31 and 49 start disabled. System rows: calendars and system always, events
    // with the SCADA bit, the parking system with the parking bit, row 61 never.
    for (int row : {38, 44, 48, 61, 62, 64}) {
        EXPECT_FALSE(setup.IsDriverEnabled(row)) << row;
    }
    EXPECT_TRUE(setup.IsDriverEnabled(63) && setup.IsDriverEnabled(65));

    // Identifiers are distinct and upper-case. Every row answers alike by index and by
    // identifier; a disabled row, an index out of range and an unknown identifier answer with
    // neutral values; no system row has a view.
    std::set<std::wstring> identifiers;
    for (int row = -1; row <= qm::kDriverCount; ++row) {
        SCOPED_TRACE(row);
        const qm::DriversCatalogue::DriverEntry* entry = setup.CatalogueRow(row);
        const wchar_t* id = entry ? entry->identifier.c_str() : L"NOPE";
        if (entry) {
            EXPECT_TRUE(identifiers.insert(id).second);
            EXPECT_TRUE(std::none_of(id, id + wcslen(id), [](wchar_t c) { return iswlower(c); }));
        }
        EXPECT_EQ(setup.DriverIndex(id), entry ? row : -1);
        EXPECT_EQ(setup.IsDriverEnabled(id), setup.IsDriverEnabled(row));
        EXPECT_EQ(std::wstring(setup.getDriverFamily(id)), setup.getDriverFamily(row));
        EXPECT_EQ(setup.getLittleImage(id), setup.getLittleImage(row));
        EXPECT_EQ(setup.getMediumImage(id), setup.getMediumImage(row));
        EXPECT_EQ(setup.getLargeImage(id), setup.getLargeImage(row));
        EXPECT_EQ(setup.DriverImage(id, true), setup.getLargeImage(row));
        EXPECT_EQ(setup.DriverImage(row, false), setup.getLittleImage(row));
        EXPECT_EQ(setup.HasDisplayedView(id), setup.HasAnalogView(row) || setup.HasTextView(row));
        EXPECT_EQ(setup.getAllowedSize(id), setup.getAllowedSize(row));
        EXPECT_EQ(setup.getAllowedType(id, 0), setup.getAllowedType(row, 0));
        EXPECT_EQ(setup.getAllowedMax(id, 0), setup.getAllowedMax(row, 0));
        if (setup.IsDriverEnabled(row)) {
            EXPECT_STREQ(setup.DriverType(row), id);
        } else {
            EXPECT_STREQ(setup.DriverType(row), L"");
            EXPECT_STREQ(setup.getDriverFamily(row), L"OTHERS");
            EXPECT_EQ(setup.getLittleImage(row), 157);
            EXPECT_EQ(setup.getMediumImage(row), 157);
            EXPECT_EQ(setup.getLargeImage(row), 157);
            EXPECT_EQ(setup.getAllowedSize(row), 0);
            EXPECT_EQ(setup.getAllowedMax(row, 0), -1);
        }
        if (!setup.IsDriverEnabled(row) || row >= 61) {
            EXPECT_FALSE(setup.HasAnalogView(row) || setup.HasTextView(row));
        }
    }
    EXPECT_EQ(identifiers.size(), static_cast<size_t>(qm::kDriverCount));
    EXPECT_FALSE(identifiers.count(L""));
    EXPECT_EQ(setup.DriverImage(200, true), 157);
    EXPECT_STREQ(setup.DriverName(66), L"");
    EXPECT_FALSE(setup.HasDisplayedView(nullptr));
}

TEST(DriversCatalogue, ChildRuleForAListedChildReplacesItsMaximum) {
    qm::DriversCatalogue::DriverEntry row;
    row.AddChildRule(4, 10);
    row.AddChildRule(7, 65535);
    row.AddChildRule(4, 3);
    ASSERT_EQ(row.childRules.size(), 2u);
    EXPECT_EQ(row.childRules[0].index, 4);
    EXPECT_EQ(row.childRules[0].max, 3);
    EXPECT_EQ(row.childRules[1].index, 7);
}

// A plant directory laid out as an installation: the programs run from Bin, whose parent
// holds the editors' feature files unless a test puts them in Bin itself.
class DriversSetup : public ::testing::Test {
  protected:
    DriversSetup() {
        dir_.MakeDirectory("Bin");
        cwd_.emplace(dir_.Path("Bin"));
    }
    ~DriversSetup() override { cwd_.reset(); }

    void WriteFeatures(const char* scada, const char* report, const std::string& where = "Bin/") {
        if (scada) {
            dir_.WriteText(where + "scada.xcfg", scada);
        }
        if (report) {
            dir_.WriteText(where + "report.xcfg", report);
        }
    }

    bool Read(const char* xml) {
        drivers_ = ParseXml(xml);
        return setup_.ReadDriversSetup(&drivers_->Root());
    }

    TempDir dir_;
    std::optional<CurrentDirectory> cwd_;
    std::unique_ptr<XmlDocument> drivers_;
    QMTarvioSetup setup_;
};

TEST_F(DriversSetup, DriverChildrenEnableTheirGroups) {
    WriteFeatures(kAllScadaFeatures, kAllReportFeatures);
    ASSERT_TRUE(
        Read("<Drivers Driver=\"COM_TCP\">"
             "<Driver Id=\"COM_RS\" Name=\"RS-485 line\"/>"
             "<Driver Id=\"COM_UDP\" Name=\"\"/><Driver Id=\"com_gtcp\" Name=\"lower case\"/>"
             "<Driver Name=\"no id\"/><Device Id=\"COM_GUDP\" Name=\"other tag\"/>"
             "<Driver Id=\"MTR201\" Name=\"first\"/><Driver Id=\"MTR201\" Name=\"meter\"/>"
             "<Driver Id=\"IOM320\" Name=\"never\"/></Drivers>"));
    EXPECT_STREQ(setup_.DriverName(L"COM_RS"), L"RS-485 line");
    EXPECT_TRUE(setup_.IsDriverEnabled(13));
    for (int row : {0, 9, 10, 14, 16, 35}) {  // skipped children enable nothing
        EXPECT_FALSE(setup_.IsDriverEnabled(row)) << row;
    }
    EXPECT_STREQ(setup_.DriverName(16), L"");
    EXPECT_STREQ(setup_.DriverName(35), L"Generic Modbus");
    EXPECT_STREQ(setup_.DriverName(62), L"R$PKC");
    EXPECT_STREQ(setup_.DriverName(65), L"R$SYS");
    // Rows 4, 5 and 6 share group 4; the later name wins.
    EXPECT_TRUE(setup_.IsDriverEnabled(4) && setup_.IsDriverEnabled(5) &&
                setup_.IsDriverEnabled(6));
    EXPECT_STREQ(setup_.DriverName(5), L"meter");
    // Group 27 is never enabled, but the row keeps its display name.
    EXPECT_FALSE(setup_.IsDriverEnabled(38));
    EXPECT_STREQ(setup_.DriverName(38), L"never");

    // A null node leaves every group disabled and every name empty.
    EXPECT_FALSE(setup_.ReadDriversSetup(nullptr));
    EXPECT_FALSE(setup_.IsDriverEnabled(13));
    EXPECT_STREQ(setup_.DriverName(65), L"");
    EXPECT_TRUE(setup_.IsDriverEnabled(65));
}

TEST_F(DriversSetup, ParkingRowsNeedTheParkingEdition) {
    WriteFeatures(kAllScadaFeatures, kAllReportFeatures);
    const char* xml =
        "<Drivers><Driver Id=\"COM_PARKING\" Name=\"Parking\"/>"
        "<Driver Id=\"PKS530\" Name=\"Sensor\"/></Drivers>";
    ASSERT_TRUE(Read(xml));
    EXPECT_FALSE(setup_.IsDriverEnabled(12));
    EXPECT_FALSE(setup_.IsDriverEnabled(58));
    EXPECT_FALSE(setup_.IsDriverEnabled(62));
    EXPECT_FALSE(setup_.HasResource(23));  // parkingSensor needs group 37

    setup_.SetVersion(QMTarvioSetup::kParkingEdition);
    ASSERT_TRUE(Read(xml));
    EXPECT_TRUE(setup_.IsDriverEnabled(12));
    EXPECT_TRUE(setup_.IsDriverEnabled(58));
    EXPECT_TRUE(setup_.IsDriverEnabled(62));
    EXPECT_TRUE(setup_.HasResource(23));
    EXPECT_FALSE(setup_.HasResource(24));  // parkingDisplay needs group 22
    EXPECT_FALSE(setup_.HasResource(26));  // parkingMultiDisplay needs group 43
}

TEST_F(DriversSetup, FeatureFlagsAndTheirConsistencyRules) {
    WriteFeatures(kAllScadaFeatures, kAllReportFeatures);
    ASSERT_TRUE(Read("<Drivers><Driver Id=\"IPCAM\" Name=\"Camera\"/></Drivers>"));
    for (int flag : {2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 16, 19, 20, 21, 22, 25}) {
        EXPECT_TRUE(setup_.HasResource(flag)) << flag;
    }
    // Without the SCADA bit: no event views, no report view; no sensors without their groups.
    for (int flag : {0, 1, 8, 15, 17, 18, 23, 24, 26, 27}) {
        EXPECT_FALSE(setup_.HasResource(flag)) << flag;
    }
    setup_.SetVersion(QMTarvioSetup::kScadaEdition);
    ASSERT_TRUE(Read("<Drivers><Driver Id=\"OTH700\" Name=\"CO\"/></Drivers>"));
    for (int flag : {0, 1, 8, 15, 17, 18, 27}) {
        EXPECT_TRUE(setup_.HasResource(flag)) << flag;
    }
    EXPECT_FALSE(setup_.HasResource(25));     // dynamicImage needs the camera group
    EXPECT_TRUE(setup_.IsDriverEnabled(64));  // the events row follows flag 0

    // Only an exact "T" sets a flag; an absent attribute clears it.
    WriteFeatures("<scada labels=\"t\" dates=\"true\" images=\"T\"/>", "<report labels=\"T\"/>");
    ASSERT_TRUE(Read("<Drivers/>"));
    EXPECT_FALSE(setup_.HasResource(9) || setup_.HasResource(10) || setup_.HasResource(12));
    EXPECT_TRUE(setup_.HasResource(11) && setup_.HasResource(2));
    EXPECT_FALSE(setup_.HasResource(3));
}

TEST_F(DriversSetup, FeatureFilesAreFoundInTheParentWhateverTheirCase) {
    WriteFeatures("<scada showGraph=\"T\"/>", "<report dates=\"T\"/>", "");
    std::filesystem::rename(dir_.Path("scada.xcfg"), dir_.Path("Scada.XCFG"));
    ASSERT_TRUE(Read("<Drivers/>"));
    EXPECT_TRUE(setup_.HasResource(19));
    EXPECT_TRUE(setup_.HasResource(3));

    WriteFeatures("<scada showGraph=\"F\"/>", nullptr);  // the current directory's wins
    ASSERT_TRUE(Read("<Drivers/>"));
    EXPECT_FALSE(setup_.HasResource(19));
    EXPECT_TRUE(setup_.HasResource(3));
}

TEST_F(DriversSetup, MissingFeatureFilesKeepWhatWasSetBefore) {
    EXPECT_FALSE(Read("<Drivers><Driver Id=\"COM_RS\" Name=\"RS\"/></Drivers>"));
    EXPECT_TRUE(setup_.IsDriverEnabled(13));
    EXPECT_FALSE(setup_.IsDriverEnabled(14));
    EXPECT_STREQ(setup_.DriverName(65), L"R$SYS");
    EXPECT_TRUE(setup_.HasResource(19));  // flags keep their earlier values

    // The SCADA file loads, the report file does not: its flags are set, the report's stay.
    WriteFeatures("<scada showGraph=\"F\"/>", nullptr);
    EXPECT_FALSE(Read("<Drivers/>"));
    EXPECT_FALSE(setup_.HasResource(19));
    EXPECT_TRUE(setup_.HasResource(2));

    // A feature file that is not well-formed counts as missing.
    WriteFeatures("<scada showGraph=\"T\">", "<report/>");
    EXPECT_FALSE(Read("<Drivers/>"));
    EXPECT_FALSE(setup_.HasResource(19));
}
