#include <qmsupport/legacy/transform_cfg_to25.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/codecs.h>

#include "common/temp_dir.h"

#include "legacy/document_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

// Records what the migration tells, one line per event.
struct Recorder : QMTransformCfgTo27Observer {
    explicit Recorder(std::string root) : root_(std::move(root)) {}
    void OnSideFile(SideFileEvent event, const QMWideString& path, const QMWideString&) override {
        static const char* kNames[] = {"loaded",  "rewritten",   "renamed",      "skipped",
                                       "created", "save-failed", "rename-failed"};
        std::string file = qm::Utf8(path);
        if (file.starts_with(root_)) {
            file.erase(0, root_.size());
        }
        log += std::string(kNames[static_cast<int>(event)]) + " " + file + "\n";
    }
    void OnSecurityResourceChanged(const QMWideString&, const QMWideString& profile,
                                   const QMWideString& oldName,
                                   const QMWideString& newName) override {
        log += "resource " + qm::Utf8(profile) + " " + qm::Utf8(oldName) + ">" + qm::Utf8(newName) +
               "\n";
    }
    std::string root_;
    std::string log;
};

// An installation with the program's current directory in bin and the configuration in Cfg.
class Migration25 : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.MakeDirectory("bin");
        dir_.MakeDirectory("Cfg/Images");
        setup_.SetCfgPath(dir_.WidePath("Cfg/").c_str());
        setup_.SetImagesPath(dir_.WidePath("Cfg/Images/").c_str());
        setup_.SetVersion(QMTarvioSetup::kScadaEdition);
        cwd_.emplace(dir_.Path("bin"));
        migration_.SetObserver(&recorder_);
    }
    void TearDown() override { cwd_.reset(); }

    // A saved file's XML, as DocumentText gives it.
    std::string Saved(const std::string& relative) const {
        XmlDocument document;
        EXPECT_TRUE(document.Load(dir_.WidePath(relative).c_str())) << relative;
        return DocumentText(document);
    }

    TempDir dir_;
    QMTarvioSetup setup_;
    std::optional<CurrentDirectory> cwd_;
    Recorder recorder_{dir_.Path("")};
    QMTransformCfgTo25 migration_;
};

// A security file of that version whose one profile holds resources of alarms, of another
// kind written in lower case, of screens, and an element that is no resource.
std::string Security(const std::string& version) {
    return "<Cfg version='" + version +
           "'><Security><Profiles><Profile Name='Op'><Resources>"
           "<Resource Type='Alarm' Name='View'/><Resource Type='Alarm' Name='Historic'/>"
           "<Resource Type='Alarm' Name='Other'/><Resource Type='alarm' Name='View'/>"
           "<Resource Type='Screen' Name='View'/><Other Type='Alarm' Name='View'/>"
           "</Resources></Profile></Profiles></Security></Cfg>";
}

}  // namespace

TEST_F(Migration25, FilesOfEachKindRunInOrderAndAreSavedWithScadaOnly) {
    dir_.WriteText("Cfg/b.xscn", "<design id='S' name='B'><page/></design>");
    XmlDocument configuration;
    setup_.SetVersion(0);  // without SCADA no file is opened
    EXPECT_TRUE(migration_.transform(configuration));
    EXPECT_EQ(recorder_.log, "");
    EXPECT_EQ(dir_.ReadText("Cfg/b.xscn"), "<design id='S' name='B'><page/></design>");

    setup_.SetVersion(QMTarvioSetup::kScadaEdition);
    dir_.WriteText("Cfg/a.xrpt", "<design id='R' name='A'><page/></design>");
    dir_.WriteText("Cfg/c.xsty", "<design name='Title' font='Arial'/>");
    dir_.WriteText("Cfg/d.xsty", "<style id='X' version='2.5'/>");
    dir_.WriteText("Cfg/broken.xscn", "<design><page>");
    EXPECT_TRUE(migration_.transform(configuration));
    EXPECT_EQ(recorder_.log,
              "loaded Cfg/b.xscn\nrewritten Cfg/b.xscn\nskipped Cfg/broken.xscn\n"
              "loaded Cfg/a.xrpt\nrewritten Cfg/a.xrpt\nloaded Cfg/c.xsty\n"
              "rewritten Cfg/c.xsty\nloaded Cfg/d.xsty\nrewritten Cfg/d.xsty\n");
    EXPECT_TRUE(Has(Saved("Cfg/b.xscn"), "<scadaLayout id=\"S\""));
    EXPECT_TRUE(Has(Saved("Cfg/a.xrpt"), "<reportLayout id=\"R\""));
    EXPECT_TRUE(Has(Saved("Cfg/c.xsty"), "<style id=\"Title\" version=\"2.5\">"));
    EXPECT_TRUE(Has(Saved("Cfg/d.xsty"), "<style id=\"X\" version=\"2.5\"/>"));
    EXPECT_EQ(dir_.ReadText("Cfg/broken.xscn"), "<design><page>");
    // The security document is left to its own step.
    EXPECT_FALSE(dir_.Exists("Cfg/Security.xcfg"));
}

TEST_F(Migration25, SecurityResourcesOfAlarmsBecomeEventsBefore25Only) {
    dir_.WriteText("Cfg/Security.xcfg", Security("2.4"));
    EXPECT_TRUE(migration_.transformSecurityFile());
    const std::string text = Saved("Cfg/Security.xcfg");
    EXPECT_TRUE(Has(text, "<Cfg version=\"2.5\">"));
    EXPECT_TRUE(Has(text,
                    "<Resource Type=\"Event\" Name=\"Notified\"/>"
                    "<Resource Type=\"Event\" Name=\"Logger\"/>"
                    "<Resource Type=\"Event\" Name=\"Other\"/>"
                    "<Resource Type=\"alarm\" Name=\"View\"/>"
                    "<Resource Type=\"Screen\" Name=\"View\"/>"
                    "<Other Type=\"Alarm\" Name=\"View\"/>"));
    EXPECT_EQ(recorder_.log,
              "loaded Cfg/Security.xcfg\nresource Op View>Notified\n"
              "resource Op Historic>Logger\nresource Op Other>Other\n"
              "rewritten Cfg/Security.xcfg\n");

    for (const char* version : {"2.5", "3"}) {
        const std::string current = Security(version);
        dir_.WriteText("Cfg/Security.xcfg", current);
        EXPECT_TRUE(migration_.transformSecurityFile());
        EXPECT_EQ(dir_.ReadText("Cfg/Security.xcfg"), current) << version;
    }
    // No version counts as 0.
    dir_.WriteText("Cfg/Security.xcfg", "<Cfg/>");
    EXPECT_TRUE(migration_.transformSecurityFile());
    EXPECT_TRUE(Has(Saved("Cfg/Security.xcfg"), "<Cfg version=\"2.5\"/>"));
}

TEST_F(Migration25, LegacySecurityIsConvertedAndSavedFirst) {
    EXPECT_FALSE(migration_.transformSecurityFile());
    EXPECT_FALSE(dir_.Exists("Cfg/Security.xcfg"));

    dir_.MakeDirectory("cfg");
    dir_.WriteText("cfg/security.cfg",
                   "Security { Profiles { Profile { Name = \"Op\" Resources { Resource { "
                   "Type = Alarm Name = View } } } } }\n");
    recorder_.log.clear();
    EXPECT_TRUE(migration_.transformSecurityFile());
    EXPECT_EQ(recorder_.log,
              "created Cfg/Security.xcfg\nresource Op View>Notified\n"
              "rewritten Cfg/Security.xcfg\n");
    const std::string text = Saved("Cfg/Security.xcfg");
    EXPECT_TRUE(Has(text, "version=\"2.5\""));
    EXPECT_TRUE(Has(text, "Type=\"Event\""));
    EXPECT_TRUE(Has(text, "Name=\"Notified\""));
}
