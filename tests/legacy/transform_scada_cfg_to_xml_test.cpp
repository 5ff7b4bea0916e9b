#include <qmsupport/legacy/transform_scada_cfg_to_xml.h>
#include <qmsupport/platform/app_path.h>
#include <qmsupport/platform/display_metrics.h>
#include <qmsupport/setup/tarvio_setup.h>

#include "common/temp_dir.h"
#include "legacy/document_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string kData = QMSUPPORT_LEGACY_DATA_DIR;

// An installation with the program in bin (the current directory), the legacy screens in
// cfg/scada and the converted files written to cfg, on a display of 0.25 mm per pixel.
class ScadaConversion : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.MakeDirectory("bin");
        dir_.MakeDirectory("cfg/scada");
        setup_.SetCfgPath(dir_.WidePath("cfg/").c_str());
        qm::platform::SetAppPath(dir_.WidePath("bin/").c_str());
        saved_ = qm::platform::DisplayMetrics::Current();
        qm::platform::DisplayMetrics::Set({.widthPixels = 1000,
                                           .heightPixels = 800,
                                           .widthMillimetres = 250,
                                           .heightMillimetres = 200});
        cwd_.emplace(dir_.Path("bin"));
    }
    void TearDown() override {
        cwd_.reset();
        qm::platform::SetAppPath(L"");
        qm::platform::DisplayMetrics::Set(saved_);
    }
    std::string Converted(const std::string& name) const {
        return NumberedGuids(dir_.ReadText("cfg/" + name));
    }

    TempDir dir_;
    QMTarvioSetup setup_;
    qm::platform::DisplayMetrics saved_;
    std::optional<CurrentDirectory> cwd_;
};

}  // namespace

TEST_F(ScadaConversion, GoldenSet) {
    std::filesystem::copy(kData + "/scada", dir_.Path("cfg/scada"),
                          std::filesystem::copy_options::recursive);
    XmlDocument host;
    ASSERT_TRUE(host.Create(L"cfg"));
    QMTransformScadaCfgToXml transform;
    ASSERT_TRUE(transform.ScadaQMCfgFile2Xml(&host.Root()));
    EXPECT_EQ(host.Root().Value(L"StartScreen", L"?"), L"Main");
    for (const char* name : {"Title.xsty", "Small.xsty", "Main.xscn", "Details.xscn"}) {
        std::ifstream in(kData + "/expected/" + name);
        const std::string expected((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(Converted(name), expected) << name;
    }
    EXPECT_FALSE(dir_.Exists("cfg/Missing.xscn"));
    EXPECT_FALSE(dir_.Exists("cfg/Absent.xsty"));
}

TEST_F(ScadaConversion, ListedFilesAreFoundBelowTheProgramsParent) {
    dir_.WriteText("cfg/scada/default.apl", "Styles { Style { File = \"Title.sty\" } }\n");
    dir_.WriteText("cfg/scada/Title.sty", "Style { Bold = T }\n");
    // A program elsewhere looks for the styles below its own installation.
    dir_.MakeDirectory("other/bin");
    qm::platform::SetAppPath(dir_.WidePath("other/bin/").c_str());
    EXPECT_TRUE(QMTransformScadaCfgToXml().ScadaQMCfgFile2Xml(nullptr));
    EXPECT_FALSE(dir_.Exists("cfg/Title.xsty"));
    // With fewer than two separators, the current directory's parent is the root.
    qm::platform::SetAppPath(L"bin/");
    EXPECT_TRUE(QMTransformScadaCfgToXml().ScadaQMCfgFile2Xml(nullptr));
    EXPECT_TRUE(dir_.Exists("cfg/Title.xsty"));
}

TEST_F(ScadaConversion, MissingApplicationFileDoesNothing) {
    XmlDocument host;
    ASSERT_TRUE(host.Create(L"cfg"));
    QMTransformScadaCfgToXml transform;
    EXPECT_FALSE(transform.ScadaQMCfgFile2Xml(&host.Root()));
    EXPECT_EQ(host.Root().Value(L"StartScreen", L"?"), L"?");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path("cfg")), {}), 1);
}

TEST_F(ScadaConversion, RandomScreensKeepTheirPixelsAndOrder) {
    dir_.WriteText("cfg/scada/default.apl", "Screens { Screen { File = \"Random.scr\" } }\n");
    std::mt19937 random(45);
    for (int round = 0; round < 20; ++round) {
        std::string legacy = "Screen {\n Image { Width = 800 Height = 600 }\n Controls {\n";
        std::vector<std::vector<int>> geometry;
        std::vector<std::string> vars;
        const int count = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            std::vector<int> g;
            for (int k = 0; k < 4; ++k) {
                g.push_back(static_cast<int>(random() % 3000));
            }
            geometry.push_back(g);
            vars.push_back("DEV" + std::to_string(random() % 100) + "#V" + std::to_string(i));
            legacy += "  Control { Type = LABEL Left = " + std::to_string(g[0]) +
                      " Top = " + std::to_string(g[1]) + " Width = " + std::to_string(g[2]) +
                      " Height = " + std::to_string(g[3]) + " Var = \"" + vars.back() + "\" }\n";
        }
        legacy += " }\n}\n";
        dir_.WriteText("cfg/scada/Random.scr", legacy);
        ASSERT_TRUE(QMTransformScadaCfgToXml().ScadaQMCfgFile2Xml(nullptr));

        XmlDocument screen;
        ASSERT_TRUE(screen.Load(dir_.WidePath("cfg/Random.xscn").c_str()));
        const XmlDocument::XmlNode* page = screen.Node(L"page");
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->Value(L"width", L""), L"200.00");
        std::vector<const XmlDocument::XmlNode*> controls;
        for (auto it = page->ChildsBegin(); it != page->ChildsEnd(); ++it) {
            if (!(*it)->IsKey()) {
                controls.push_back(*it);
            }
        }
        ASSERT_EQ(controls.size(), geometry.size());
        for (size_t i = 0; i < controls.size(); ++i) {
            EXPECT_EQ(controls[i]->Tag(), L"formule");
            std::wstring wide(vars[i].begin(), vars[i].end());
            EXPECT_EQ(controls[i]->Value(L"value", L""), (L"[" + wide + L"]").c_str());
            const wchar_t* keys[] = {L"x", L"y", L"width", L"height"};
            for (int k = 0; k < 4; ++k) {
                const double mm = std::wcstod(controls[i]->Value(keys[k], L"").c_str(), nullptr);
                EXPECT_NEAR(mm / 0.25, geometry[i][k], 0.005 / 0.25) << i << " " << k;
            }
        }
    }
}
