#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/text/config_identifiers.h>
#include <qmsupport/text/file_name.h>
#include <qmsupport/toolsapi/date_time.h>

#include "common/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FileName, JoinsAndSplitsAtTheLastDot) {
    QMWideString first = L"keep", second;
    SplitFileName(L"a.b.c", first, second);
    EXPECT_EQ(first + L"|" + second, L"a.b|c");
    for (const wchar_t* whole : {L"abc", L".abc"}) {
        SplitFileName(whole, first, second);
        EXPECT_EQ(first + L"|" + second, L"|abc");
    }
    JoinFileName(L"", L"x", first);
    JoinFileName(first, L"y", first);  // output aliasing an input
    EXPECT_EQ(first, L".x.y");
}

class ConfigFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        setup_.SetCfgPath(dir_.WidePath("cfg/"));
        setup_.SetDataPath(dir_.WidePath("data/"));
        dir_.MakeDirectory("cfg");
        for (const char* file : {"X.Q1.Summary.xrpt", "B.Twice.XRPT", "A.Twice.xrpt",
                                 "S1.Main.xscn", "T1.Red.xsty", ".Lonely.xrpt"}) {
            dir_.WriteText(std::string("cfg/") + file, "<r/>");
        }
    }
    TempDir dir_;
    QMTarvioSetup setup_;
};

TEST_F(ConfigFiles, IdentifiersAndNamesComeFromFileNames) {
    QMWideString out;
    EXPECT_TRUE(ReportName2Id(L"Q1.Summary", out));
    EXPECT_EQ(out, L"X.Q1");
    EXPECT_TRUE(ReportId2Name(L"X", out));
    EXPECT_EQ(out, L"Summary");
    EXPECT_TRUE(ReportName2Id(L"Twice", out));  // the first by name, whatever the case
    EXPECT_EQ(out, L"A");
    EXPECT_TRUE(ReportName2Id(L"Lonely", out));
    EXPECT_EQ(out, L"");
    EXPECT_TRUE(ScreenId2Name(L"S1", out) && out == L"Main");
    EXPECT_TRUE(ScreenName2Id(L"Main", out) && out == L"S1");
    EXPECT_TRUE(StyleId2Name(L"T1", out) && out == L"Red");
    EXPECT_TRUE(StyleName2Id(L"Red", out) && out == L"T1");
    out = L"untouched";
    EXPECT_FALSE(ScreenName2Id(L"Red", out));
    EXPECT_FALSE(StyleId2Name(L"S1", out));
    EXPECT_EQ(out, L"untouched");
}

TEST_F(ConfigFiles, DeviceDataFilesTakeTheNewName) {
    const QMDateTime now = QMDateTime::UTC();
    char month[64];  // the current month's folder and the date part of its file names
    std::snprintf(month, sizeof month, "data/%04d/%02d/| %02d-%04d", now.Year(), now.Month(),
                  now.Month(), now.Year());
    const std::string thisMonth = std::string(month).substr(0, 13);
    const std::string dated = std::string(month).substr(14) + ".std";
    dir_.MakeDirectory("data/2007/03");
    dir_.MakeDirectory(thisMonth);
    dir_.WriteText("data/2007/03/Meter 1 03-2007.dat", "a");
    dir_.WriteText("data/2007/03/Meter 10 03-2007.dat", "b");
    dir_.WriteText("data/2007/03/Meter 1 04-2007.dat", "c");  // not the month's own name
    dir_.WriteText(thisMonth + "Meter 1" + dated, "d");
    dir_.MakeDirectory("data/2006/12");  // an earlier year is walked from December
    dir_.WriteText("data/2006/12/Meter 1 12-2006.dat", "e");
    XmlDocument device;
    ASSERT_TRUE(device.Parse(R"(<Device Name="Meter 1"/>)"));
    EXPECT_TRUE(RenameDeviceFilesDataName(&device.Root(), L"Line A"));
    EXPECT_EQ(dir_.ReadText("data/2007/03/Line A 03-2007.dat"), "a");
    EXPECT_TRUE(dir_.Exists("data/2007/03/Meter 10 03-2007.dat"));
    EXPECT_TRUE(dir_.Exists("data/2007/03/Meter 1 04-2007.dat"));
    EXPECT_EQ(dir_.ReadText(thisMonth + "Line A" + dated), "d");
    EXPECT_EQ(dir_.ReadText("data/2006/12/Line A 12-2006.dat"), "e");

    // A rename that fails with its source still there makes the result false; the others
    // are still done.
    dir_.WriteText("data/2007/03/Meter 1 03-2007.dat", "f");
    dir_.MakeDirectory("data/2006/11");
    dir_.WriteText("data/2006/11/Meter 1 11-2006.dat", "g");
    EXPECT_FALSE(RenameDeviceFilesDataName(&device.Root(), L"Line A"));
    EXPECT_EQ(dir_.ReadText("data/2007/03/Meter 1 03-2007.dat"), "f");
    EXPECT_EQ(dir_.ReadText("data/2006/11/Line A 11-2006.dat"), "g");

    // A name too long for the file patterns has no data files: nothing is tried.
    ASSERT_TRUE(device.Parse(("<Device Name=\"" + std::string(300, 'M') + "\"/>").c_str()));
    EXPECT_TRUE(RenameDeviceFilesDataName(&device.Root(), L"Short"));
    EXPECT_TRUE(RenameDeviceFilesDataName(nullptr, L"Short"));
}

}  // namespace
