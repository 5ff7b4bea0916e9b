#include <qmsupport/platform/native_path.h>

#include "common/temp_dir.h"

#include <gtest/gtest.h>

using qm::platform::NativePath;

TEST(NativePath, FindsExistingComponentsWithoutRegardToCase) {
    TempDir dir;
    dir.MakeDirectory("Cfg/Screens");
    dir.WriteText("Cfg/Screens/Main.XSCN", "x");
    EXPECT_EQ(NativePath((dir.WidePath() + L"cfg\\SCREENS/main.xscn").c_str()),
              dir.Path("Cfg/Screens/Main.XSCN"));
    // The trailing separator of a directory stays.
    EXPECT_EQ(NativePath((dir.WidePath() + L"CFG\\screens\\").c_str()), dir.Path("Cfg/Screens/"));
}

TEST(NativePath, ExactNameWinsThenFirstInByteOrder) {
    TempDir dir;
    dir.MakeDirectory("data");
    dir.MakeDirectory("DATA");
    EXPECT_EQ(NativePath(dir.Path("data\\")), dir.Path("data/"));
    EXPECT_EQ(NativePath(dir.Path("DATA\\")), dir.Path("DATA/"));
    EXPECT_EQ(NativePath(dir.Path("Data\\")), dir.Path("DATA/"));
}

TEST(NativePath, MissingComponentsKeepTheirCase) {
    TempDir dir;
    dir.MakeDirectory("cfg");
    EXPECT_EQ(NativePath(dir.Path("CFG\\New Dir\\Sub\\File.Txt")),
              dir.Path("cfg/New Dir/Sub/File.Txt"));
}

TEST(NativePath, FoldsNonAsciiLetters) {
    TempDir dir;
    dir.MakeDirectory("\xC3\x84rger");                 // Ärger
    dir.WriteText("\xC3\x84rger/\xC3\x96L.txt", "x");  // ÖL.txt
    EXPECT_EQ(NativePath((dir.WidePath() + L"\u00e4RGER\\\u00f6l.TXT").c_str()),
              dir.Path("\xC3\x84rger/\xC3\x96L.txt"));
    // A non-ASCII character may fold to an ASCII one: the Kelvin sign is a "k".
    dir.MakeDirectory("kWh");
    EXPECT_EQ(NativePath((dir.WidePath() + L"\u212AWH\\").c_str()), dir.Path("kWh/"));
    EXPECT_EQ(NativePath((dir.WidePath() + L"kW\\").c_str()), dir.Path("kW/"));
    EXPECT_EQ(NativePath((dir.WidePath() + L"kWh\u00e4\\").c_str()), dir.Path("kWh\xC3\xA4/"));
}

TEST(NativePath, DotDotReachesTheParentsFolderFromTheCurrentDirectory) {
    TempDir dir;
    dir.MakeDirectory("cfg/scada");
    dir.MakeDirectory("bin");
    dir.WriteText("cfg/security.cfg", "x");
    CurrentDirectory cwd(dir.Path("bin"));
    EXPECT_EQ(NativePath(L"..\\Cfg\\"), "../cfg/");
    EXPECT_EQ(NativePath(L"..\\CFG\\Security.cfg"), "../cfg/security.cfg");
    EXPECT_EQ(NativePath(L".\\..\\cfg\\SCADA\\default.apl"), "./../cfg/scada/default.apl");
    EXPECT_EQ(NativePath(L"new.txt"), "new.txt");
}

TEST(NativePath, EmptyAndNullGiveEmpty) {
    EXPECT_EQ(NativePath(static_cast<const wchar_t*>(nullptr)), "");
    EXPECT_EQ(NativePath(L""), "");
    EXPECT_EQ(NativePath(L"\\"), "/");
}
