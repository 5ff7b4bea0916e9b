#include <qmsupport/store/registry.h>

#include "common/scoped_env.h"
#include "common/temp_dir.h"

#include <gtest/gtest.h>

using qm::platform::Registry;

namespace {

const std::wstring kKey = L"Software\\Vendor\\Product\\2.7";

}  // namespace

TEST(Registry, FilePathFollowsTheEnvironment) {
    ScopedEnv home("HOME", "/home/user");
    {
        ScopedEnv file("QMSUPPORT_REGISTRY", "/tmp/r.xml");
        ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(Registry::FilePath(), "/tmp/r.xml");
    }
    {
        ScopedEnv file("QMSUPPORT_REGISTRY", "");
        ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(Registry::FilePath(), "/cfg/qmsupport/registry.xml");
    }
    ScopedEnv file("QMSUPPORT_REGISTRY", nullptr);
    ScopedEnv config("XDG_CONFIG_HOME", "relative");
    EXPECT_EQ(Registry::FilePath(), "/home/user/.config/qmsupport/registry.xml");
}

TEST(Registry, RoundTripMatchesKeysAndNamesWithoutRegardToCase) {
    TempDir dir;
    ScopedEnv file("QMSUPPORT_REGISTRY", dir.Path("new/dir/registry.xml").c_str());
    EXPECT_FALSE(Registry::ReadDword(kKey, L"Runtime").has_value());
    EXPECT_FALSE(dir.Exists("new"));  // reading creates nothing

    ASSERT_TRUE(Registry::WriteDword(kKey, L"Runtime", 1));
    ASSERT_TRUE(
        Registry::WriteDword(L"\\software\\VENDOR\\\\product\\2.7\\", L"runtime", 4294967295u));
    const std::wstring tricky = L"a<b>&\"c' \t\r\n\u00fc\U0001F600 ]]>";
    ASSERT_TRUE(Registry::WriteString(kKey, L"Title", tricky));
    ASSERT_TRUE(Registry::WriteString(L"Other", L"", L"default value"));

    EXPECT_EQ(Registry::ReadDword(L"SOFTWARE\\vendor\\product\\2.7", L"RUNTIME"), 4294967295u);
    EXPECT_EQ(Registry::ReadString(kKey, L"title"), tricky);
    EXPECT_EQ(Registry::ReadString(L"other", L""), L"default value");
    // A value of the other type, or in another key, is absent.
    EXPECT_FALSE(Registry::ReadString(kKey, L"Runtime").has_value());
    EXPECT_FALSE(Registry::ReadDword(kKey, L"Title").has_value());
    EXPECT_FALSE(Registry::ReadDword(L"Software\\Vendor", L"Runtime").has_value());

    // The key keeps the spelling it was first written with, once.
    const std::string text = dir.ReadText("new/dir/registry.xml");
    EXPECT_NE(text.find("path=\"Software\\Vendor\\Product\\2.7\""), std::string::npos);
    EXPECT_EQ(text.find("VENDOR"), std::string::npos);
}

TEST(Registry, RefusesTextsTheFileCannotHold) {
    TempDir dir;
    ScopedEnv file("QMSUPPORT_REGISTRY", dir.Path("registry.xml").c_str());
    ASSERT_TRUE(Registry::WriteString(kKey, L"Name", L"kept"));
    const std::string before = dir.ReadText("registry.xml");
    EXPECT_FALSE(Registry::WriteString(kKey, L"Name", std::wstring(L"bell\a")));
    EXPECT_FALSE(Registry::WriteDword(kKey, std::wstring(L"a\x01"), 1));
    EXPECT_FALSE(Registry::WriteDword(L"\\\\", L"Name", 1));  // no key at all
    EXPECT_EQ(dir.ReadText("registry.xml"), before);
}

TEST(Registry, CorruptFileReadsEmptyAndIsMovedAsideByTheNextWrite) {
    TempDir dir;
    ScopedEnv file("QMSUPPORT_REGISTRY", dir.Path("registry.xml").c_str());
    for (const char* bad : {"<registry><key path=\"a\">", "<other/>", "not xml", ""}) {
        dir.WriteText("registry.xml", bad);
        EXPECT_FALSE(Registry::ReadDword(L"a", L"v").has_value()) << bad;
        EXPECT_EQ(dir.ReadText("registry.xml"), bad);

        ASSERT_TRUE(Registry::WriteDword(L"a", L"v", 7)) << bad;
        EXPECT_EQ(Registry::ReadDword(L"a", L"v"), 7u);
        EXPECT_EQ(dir.ReadText("registry.xml.corrupt"), bad);
    }
    // A value with text that is not a number reads as absent; a hand-written key path is
    // read like the paths the program passes.
    dir.WriteText("registry.xml",
                  "<registry><key path=\"a\"><value name=\"v\" type=\"dword\">x1</value>"
                  "<value name=\"w\" type=\"dword\">-1</value></key><key path=\"\\B\\\\c\\\">"
                  "<value name=\"n\" type=\"dword\">5</value></key></registry>");
    EXPECT_FALSE(Registry::ReadDword(L"a", L"v").has_value());
    EXPECT_FALSE(Registry::ReadDword(L"a", L"w").has_value());
    EXPECT_EQ(Registry::ReadDword(L"b\\C", L"N"), 5u);
}

TEST(Registry, AFileThatCannotBeReadIsLeftAlone) {
    TempDir dir;
    dir.MakeDirectory("registry.xml");
    ScopedEnv file("QMSUPPORT_REGISTRY", dir.Path("registry.xml").c_str());
    EXPECT_FALSE(Registry::WriteDword(L"a", L"v", 1));
    EXPECT_FALSE(Registry::ReadDword(L"a", L"v").has_value());
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path("registry.xml")));
    EXPECT_FALSE(dir.Exists("registry.xml.corrupt"));
}
