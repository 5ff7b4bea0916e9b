// The checks the 2.5 steps make on a live installation, and the file snapshot that names what
// a step created or rewrote.

#include "install/steps25.h"
#include "common/temp_dir.h"

#include <qmsupport/platform/file_ops.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace {

namespace fs = std::filesystem;
using namespace qm::install;

class Steps25Test : public ::testing::Test {
  protected:
    void SetUp() override {
        dir.MakeDirectory("plant/Cfg");
        dir.MakeDirectory("plant/Bin");
    }
    bool Needs(bool security, std::string* why = nullptr) const {
        std::string reason;
        const bool needed = Needs25(cfg, dir.Path("plant/Bin"), security, reason);
        if (why != nullptr) {
            *why = reason;
        }
        return needed;
    }

    TempDir dir;
    fs::path cfg = dir.Path("plant/Cfg");
};

TEST_F(Steps25Test, AFileBefore25IsFoundByItsVersionAndNamed) {
    EXPECT_FALSE(Needs(true));  // nothing at all to migrate
    dir.WriteText("plant/Cfg/A.xscn", R"(<scadaLayout version="2.5"/>)");
    dir.WriteText("plant/Cfg/B.xrpt", R"(<reportLayout version="3"/>)");
    dir.WriteText("plant/Cfg/C.xsty", "<design><broken>");  // does not load: left to the run
    EXPECT_FALSE(Needs(true));

    dir.WriteText("plant/Cfg/D.XSTY", R"(<design name="D" version="2.49"/>)");
    std::string why;
    EXPECT_TRUE(Needs(false, &why));
    EXPECT_EQ(why, "D.XSTY is in a layout before 2.5");
    dir.WriteText("plant/Cfg/D.XSTY", R"(<design name="D"/>)");  // no version reads as 0
    EXPECT_TRUE(Needs(false));
}

TEST_F(Steps25Test, TheSecurityFileCountsOnlyWhenAsked) {
    // Found from Bin as ../cfg/security.cfg, in any case.
    dir.WriteText("plant/Cfg/security.cfg", "Security { }");
    std::string why;
    EXPECT_TRUE(Needs(true, &why));
    EXPECT_EQ(why, "only the legacy security file cfg/security.cfg exists");
    EXPECT_FALSE(Needs(false));

    // Once Security.xcfg exists, its version decides, whatever the legacy file says.
    dir.WriteText("plant/Cfg/Security.xcfg", R"(<Security version="2.5"/>)");
    EXPECT_FALSE(Needs(true));
    dir.WriteText("plant/Cfg/Security.xcfg", R"(<Security version="2.4"/>)");
    EXPECT_TRUE(Needs(true));
}

TEST_F(Steps25Test, EarlierConversionsAreRefusedByName) {
    dir.MakeDirectory("plant/Cfg/scada");
    dir.WriteText("plant/Cfg/scada/default.apl",
                  "Screens { Screen { File = \"screens\\\\Main.scr\" } Screen { File = \"\" } }\n"
                  "Styles { Style { File = \"Big.sty\" } }\n");
    const fs::path application = LegacyApplicationFile(dir.Path("plant"));
    EXPECT_NO_THROW(CheckLegacyScreensNotConverted(application, cfg));
    dir.WriteText("plant/Cfg/big.xsty", "<design/>");  // a style, in another case
    try {
        CheckLegacyScreensNotConverted(application, cfg);
        ADD_FAILURE() << "an earlier conversion was not refused";
    } catch (const Failure& refusal) {
        EXPECT_EQ(refusal.status, Status::Refused);
        EXPECT_NE(std::string(refusal.what()).find("'Big.xsty' exists"), std::string::npos)
            << refusal.what();
    }

    dir.WriteText(
        "plant/Cfg/alarms.cfg",
        "Alarms { Alarm { ShortText = \"High\" Id = \"1\" } Alarm { ShortText = \"\" } }");
    const fs::path alarms = dir.Path("plant/Cfg/alarms.cfg");
    EXPECT_NO_THROW(CheckAlarmsNotConverted(alarms, cfg));  // no events file yet
    dir.WriteText("plant/Cfg/default.xeve", R"(<main><events><event name=""/>)"
                                            R"(<event name="high"/></events></main>)");
    EXPECT_NO_THROW(CheckAlarmsNotConverted(alarms, cfg));  // names compare exactly
    dir.WriteText("plant/Cfg/default.xeve",
                  R"(<main><events><event name="High"/></events></main>)");
    EXPECT_THROW(CheckAlarmsNotConverted(alarms, cfg), Failure);
    EXPECT_THROW(CheckAlarmsNotConverted(dir.Path("plant/Cfg/none.cfg"), cfg), Failure);
}

TEST(FileSnapshot, NamesCreatedAndReplacedFilesOnce) {
    TempDir dir;
    dir.MakeDirectory("Cfg");
    dir.MakeDirectory("Data");
    dir.WriteText("Cfg/Kept.xscn", "kept");
    dir.WriteText("Cfg/Saved.xscn", "old");
    dir.WriteText("Data/History.eve", "old");
    const std::vector<fs::path> folders = {dir.Path("Cfg"), dir.Path("Data")};
    const FileSnapshot before(folders);

    // Saved the way the library saves: a new file renamed over the old one.
    ASSERT_TRUE(qm::platform::WriteFileAtomic(dir.Path("Cfg/Saved.xscn"), "new"));
    ASSERT_TRUE(qm::platform::WriteFileAtomic(dir.Path("Data/History.eve"), "old"));
    dir.MakeDirectory("Cfg/Images");
    dir.WriteText("Cfg/Images/image1.img", "img");

    MigrationReport report;
    report.rewritten.push_back("Cfg/Saved.xscn");  // told already by the migration itself
    FileSnapshot(folders).ReportChangesSince(before, dir.Path(), report);
    EXPECT_EQ(report.created, std::vector<std::string>{"Cfg/Images/image1.img"});
    std::sort(report.rewritten.begin(), report.rewritten.end());
    EXPECT_EQ(report.rewritten, (std::vector<std::string>{"Cfg/Saved.xscn", "Data/History.eve"}));
}

}  // namespace
