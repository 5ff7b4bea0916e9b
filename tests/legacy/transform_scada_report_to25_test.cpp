#include <qmsupport/legacy/transform_scada_report_to25.h>
#include <qmsupport/platform/display_metrics.h>
#include <qmsupport/toolsapi/codecs.h>

#include "common/page_migration_scene.h"

#include "legacy/document_text.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

// Migrations on a display of the default 96 dpi unless a test sets another.
class PageMigration : public ::testing::Test {
  protected:
    PageMigration() { scene_.setup.SetCfgPath(scene_.dir.WidePath("cfg/").c_str()); }

    std::string Migrated(const char* document, bool isScreen) {
        XmlDocument doc;
        EXPECT_TRUE(doc.Parse(document));
        doc.SetFileName(L"/cfg/Main.xscn");
        EXPECT_TRUE(migration_.Transform(doc, isScreen));
        EXPECT_EQ(doc.FileName(), L"/cfg/Main.xscn");
        return DocumentText(doc);
    }

    PageMigrationScene scene_{"cfg/Images"};
    QMTransformScadaReportTo25 migration_;
};

}  // namespace

TEST_F(PageMigration, DefaultDisplayKeepsScreenMillimetres) {
    EXPECT_EQ(Migrated("<design id='S1' name='Main'><page id='P' width='297' height='210' "
                       "xgrid='5' ygrid='2.5'><label id='L' x='10' y='20'/></page></design>",
                       true),
              "<scadaLayout id=\"S1\" name=\"Main\" version=\"2.5\" hasZoom=\"F\" cxDpi=\"96\" "
              "cyDpi=\"96\"><page id=\"{G}\" name=\"page1\" width=\"297.000\" "
              "height=\"210.000\" xGrid=\"5.000\" yGrid=\"2.500\"><backgroundImage id=\"P\" "
              "x=\"0.00\" y=\"0.00\" width=\"297.00\" height=\"210.00\" color=\"000000\" "
              "maintainAspectRatio=\"T\" maintainRealSize=\"T\"><image imageId=\"\" "
              "horizontalAlign=\"CENTER\" verticalAlign=\"CENTER\"/></backgroundImage>"
              "<label id=\"L\" x=\"10.00\" y=\"20.00\" width=\"10.00\" height=\"10.00\" "
              "color=\"000000\"><text textStr=\"\"/></label></page></scadaLayout>");
}

TEST_F(PageMigration, SmallerDisplayScalesScreensNotReports) {
    // 4/3 of the logical pixels per millimetre.
    qm::platform::DisplayMetrics::Set({.widthPixels = 1920, .widthMillimetres = 381});
    const char* document =
        "<design><page width='210' xgrid='5'><label id='L' x='10.00' width='12.5'/></page>"
        "</design>";
    const std::string screen = Migrated(document, true);
    EXPECT_TRUE(Has(screen,
                    "name=\"page1\" width=\"280.000\" height=\"600.000\" "
                    "xGrid=\"5.000\""));
    EXPECT_TRUE(Has(screen, "<label id=\"L\" x=\"13.33\" y=\"0.00\" width=\"16.67\""));
    const std::string report = Migrated(document, false);
    EXPECT_TRUE(Has(report,
                    "<reportLayout id=\"\" name=\"\" version=\"2.5\" hasZoom=\"T\" "
                    "dpiFont=\"96\">"));
    EXPECT_TRUE(Has(report, "width=\"210.000\""));
    EXPECT_TRUE(Has(report, "<label id=\"L\" x=\"10.00\" y=\"0.00\" width=\"12.50\""));
}

TEST_F(PageMigration, ControlsAreWrittenInDrawingOrder) {
    const std::string text = Migrated(
        "<design><page><formule id='f1'/><date id='d1'/><label id='l1'/><command id='c1'/>"
        "<show id='s1'><device/></show><floodfill id='x1' hotX='1' hotY='1'/>"
        "<image id='i1'/><conditioned id='k1'/><screen id='r1'/><forceVariables id='v1'/>"
        "<formule id='f2'/><show id='bad'/><floodfill id='nohot'/><mystery id='m'/>"
        "</page></design>",
        true);
    std::string order;
    static const std::regex element("<(\\w+) id=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), element);
         it != std::sregex_iterator(); ++it) {
        order += (*it)[2].str() + " ";
    }
    EXPECT_EQ(order, " {G} {G} x1 k1 l1 i1 c1 s1 r1 v1 f1 d1 f2 ");
}

TEST_F(PageMigration, PagesAreNumberedAndFormulesRewritten) {
    const std::string text = Migrated(
        "<design><page/><note/><page id='second'/><formules><formule text='[dev#var]+1' "
        "x='k'/><other text='a#b'/></formules></design>",
        true);
    EXPECT_TRUE(Has(text, "<page id=\"{G}\" name=\"page1\""));
    EXPECT_TRUE(Has(text, "<page id=\"{G}\" name=\"page2\""));
    EXPECT_FALSE(Has(text, "page3"));
    EXPECT_FALSE(Has(text, "note"));
    EXPECT_TRUE(Has(text, "<backgroundImage id=\"second\""));
    EXPECT_TRUE(Has(text,
                    "</page><formules><formule text=\"[dev:var]+1\" x=\"k\"/>"
                    "<other text=\"a#b\"/></formules></scadaLayout>"));
}

TEST_F(PageMigration, DocumentsAt25AreLeftAloneAndPagesDoNotCarryOver) {
    const std::string current = "<scadaLayout version='2.5'><page/></scadaLayout>";
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse(current.c_str()));
    const std::string before = DocumentText(doc);
    EXPECT_TRUE(migration_.Transform(doc, true));
    EXPECT_EQ(DocumentText(doc), before);

    Migrated("<design><page/><page/></design>", true);
    const std::string next = Migrated("<design><page id='only'/></design>", true);
    EXPECT_FALSE(Has(next, "page2"));
}

TEST_F(PageMigration, ObserverHearsOfDroppedControlsAndStoredImages) {
    struct Recorder : QMTransformCfgTo27Observer {
        void OnControlDropped(const QMWideString& file, int page, const QMWideString& tag,
                              ControlDropReason reason) override {
            events += qm::Utf8(file) + ":" + std::to_string(page) + ":" + qm::Utf8(tag) + ":" +
                      std::to_string(static_cast<int>(reason)) + " ";
        }
        void OnImageStored(const QMWideString&, const QMWideString& image,
                           const QMWideString& source, bool stored) override {
            events +=
                "stored " + qm::Utf8(image) + " " + qm::Utf8(source) + (stored ? " yes " : " no ");
        }
        std::string events;
    } recorder;
    migration_.SetObserver(&recorder);
    Migrated(
        "<design><page><show/></page><page><floodfill/><mystery/><conditioned>"
        "<control/></conditioned><image value='AAAA'/></page></design>",
        true);
    EXPECT_EQ(recorder.events,
              "/cfg/Main.xscn:1:show:1 /cfg/Main.xscn:2:floodfill:2 "
              "/cfg/Main.xscn:2:mystery:0 /cfg/Main.xscn:2:control:3 stored image1  no ");
}
