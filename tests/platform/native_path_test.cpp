#include <qmsupport/platform/native_path.h>

#include "common/temp_dir.h"

#include <gtest/gtest.h>

using qm::platform::NativePath;

// Existing components are found without regard to case, the exact name first, else the
// first in byte order; missing ones keep their case, as does a directory's trailing separator.
// Case folding goes beyond ASCII, and a non-ASCII character may fold to an ASCII one: the
// Kelvin sign is a "k".
TEST(NativePath, FindsExistingComponentsWithoutRegardToCase) {
    TempDir dir;
    dir.MakeDirectory("Cfg/Screens");
    dir.WriteText("Cfg/Screens/Main.XSCN", "x");
    dir.MakeDirectory("data");
    dir.MakeDirectory("DATA");
    dir.MakeDirectory("\xC3\x84rger");                 // Ärger
    dir.WriteText("\xC3\x84rger/\xC3\x96L.txt", "x");  // ÖL.txt
    dir.MakeDirectory("kWh");
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"cfg\\SCREENS/main.xscn", "Cfg/Screens/Main.XSCN"},
        {L"CFG\\screens\\", "Cfg/Screens/"},
        {L"data\\", "data/"},
        {L"DATA\\", "DATA/"},
        {L"Data\\", "DATA/"},
        {L"CFG\\New Dir\\Sub\\File.Txt", "Cfg/New Dir/Sub/File.Txt"},
        {L"\u00e4RGER\\\u00f6l.TXT", "\xC3\x84rger/\xC3\x96L.txt"},
        {L"\u212AWH\\", "kWh/"},
        {L"kW\\", "kW/"},
        {L"kWh\u00e4\\", "kWh\xC3\xA4/"},
    };
    for (const auto& [path, found] : cases) {
        SCOPED_TRACE(found);
        EXPECT_EQ(NativePath((dir.WidePath() + path).c_str()), dir.Path(found));
    }
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
