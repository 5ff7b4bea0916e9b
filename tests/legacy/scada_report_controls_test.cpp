#include <qmsupport/images/cx_file.h>
#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/image_xml.h>
#include <qmsupport/toolsapi/codecs.h>

#include "common/image_test_util.h"
#include "common/page_migration_scene.h"
#include "common/scoped_env.h"
#include "legacy/scada_report_controls.h"

#include "legacy/document_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using Migration = QMTransformScadaReportTo25;

// Reads `element` into a control of its page kind and writes it under an empty page, at
// scale 1.0; the page's text, or "dropped" when Read refuses the element.
std::string Migrated(const char* element, PageContext* context = nullptr) {
    XmlDocument source;
    EXPECT_TRUE(source.Parse(element)) << element;
    std::unique_ptr<Migration::QMControl> control =
        Migration::LayoutPage::NewControl(source.Root().Tag());
    if (control == nullptr || !control->Read(&source.Root())) {
        return "dropped";
    }
    XmlDocument page;
    EXPECT_TRUE(page.Create(L"page"));
    PageContext plain;
    control->Write(&page.Root(), context != nullptr ? context : &plain);
    return DocumentText(page.Root());
}

// Reads the element given as text into `control`; false when Read refuses it.
bool ReadInto(Migration::QMControl& control, const std::string& element) {
    XmlDocument source;
    EXPECT_TRUE(source.Parse(element.c_str())) << element;
    return control.Read(&source.Root());
}

// A 24-bit picture of one grey.
CxImage Plain(long width, long height, uint8_t grey) {
    return GreyPicture(width, height, [grey](long, long) { return grey; });
}

std::string Base64Png(CxImage& image) {
    const std::string png = EncodeImageBytes(image, qm::images::kFormatPng);
    QMNarrowString text;
    EncodeBase64(text, reinterpret_cast<const unsigned char*>(png.data()), png.size());
    return text.str();
}

// A configuration directory with an images directory, in a fresh temporary directory.
class ImageControls : public ::testing::Test {
  protected:
    ImageControls() { scene_.setup.SetCfgPath(dir_.WidePath("cfg/").c_str()); }
    void Store(const char* name, long width) {
        CxImage image = Plain(width, 2, 200);
        ASSERT_TRUE(Image2XMLFile(qm::Wide(name).c_str(), &image));
    }

    PageMigrationScene scene_{"cfg/Images"};
    const TempDir& dir_ = scene_.dir;
};

}  // namespace

TEST(Controls, CommonAttributesAlignmentWordsAndLook) {
    PageContext context;
    context.xScale = 2.0;
    context.yScale = 0.5;
    const std::string label = Migrated(
        "<label id='L1' x='1.5' y='4' width='3' height='8' color='ff00' horizontalAlign='1' "
        "verticalAlign='8' value='Hi'/>",
        &context);
    EXPECT_EQ(label,
              "<page><label id=\"L1\" x=\"3.00\" y=\"2.00\" width=\"6.00\" height=\"4.00\" "
              "color=\"00FF00\" horizontalAlign=\"LEFT\" verticalAlign=\"BOTTOM\">"
              "<text textStr=\"Hi\"/></label></page>");
    // Words exist for 1, 2 and 16 across, 4, 8 and 16 down; other numbers write nothing.
    EXPECT_TRUE(Has(Migrated("<label horizontalAlign='2' verticalAlign='4'/>"),
                    "horizontalAlign=\"RIGHT\" verticalAlign=\"TOP\""));
    EXPECT_TRUE(Has(Migrated("<label horizontalAlign='16' verticalAlign='16'/>"),
                    "horizontalAlign=\"CENTER\" verticalAlign=\"CENTER\""));
    EXPECT_FALSE(Has(Migrated("<label horizontalAlign='4' verticalAlign='1'/>"), "Align"));
    // Defaults: 10 by 10 at the origin, black; a look is written as a font child first.
    EXPECT_EQ(Migrated("<label id='a' font='Arial' size='12' style='1' color='10'/>"),
              "<page><label id=\"a\" x=\"0.00\" y=\"0.00\" width=\"10.00\" height=\"10.00\" "
              "color=\"000010\"><font name=\"Arial\" style=\"BOLD\" size=\"12\" "
              "color=\"000010\" orientation=\"0.00\"/><text textStr=\"\"/></label></page>");
}

TEST(Controls, MissingIdGetsOneGuidThatStays) {
    Migration::QMControlLabel label(3);
    ASSERT_TRUE(ReadInto(label, "<label value='A'/>"));
    XmlDocument page;
    EXPECT_TRUE(page.Create(L"page"));
    PageContext context;
    label.Write(&page.Root(), &context);
    const QMWideString first = label.id;
    label.Write(&page.Root(), &context);
    EXPECT_TRUE(Has(DocumentText(page.Root()), "<page><label id=\"{G}\" x="));
    ASSERT_EQ(page.Root().Size(), 2u);
    EXPECT_EQ(page.Root().ChildsBegin()[0]->Value(L"id", L""), first);
    EXPECT_EQ(page.Root().ChildsBegin()[1]->Value(L"id", L""), first);
}

TEST(Controls, FormatTable) {
    struct Case {
        const char* format;
        int integers, decimals, leftPadding, rightPadding;
    };
    const Case cases[] = {
        {"2.3", 2, 3, -1, -1},    {"02.03", 2, 3, 2, 3}, {".2", -1, 3, -1, -1},
        {"2", -1, 3, -1, -1},     {"2.", 2, -1, -1, -1}, {"2.345", 2, 3, -1, -1},
        {"123.4", -1, 4, -1, -1}, {"", -1, 3, -1, -1},   {"0x.0x", 72, 72, 72, 72},
    };
    for (const Case& c : cases) {
        Migration::QMControlFormule formule(5);
        ASSERT_TRUE(ReadInto(
            formule, std::string("<formule value='[dev#var]#x' format='") + c.format + "'/>"));
        EXPECT_EQ(formule.integers, c.integers) << c.format;
        EXPECT_EQ(formule.decimals, c.decimals) << c.format;
        EXPECT_EQ(formule.leftPadding, c.leftPadding) << c.format;
        EXPECT_EQ(formule.rightPadding, c.rightPadding) << c.format;
        EXPECT_EQ(formule.value, L"[dev:var]:x");
    }
    EXPECT_TRUE(Has(Migrated("<formule id='f' value='[a#b]' format='02.1' thousandSeparator='T'/>"),
                    "value=\"[a:b]\" integers=\"2\" decimals=\"1\" leftPadding=\"2\" "
                    "rightPadding=\"-1\" thousandSeparator=\"T\""));
}

TEST(Controls, DatePatterns) {
    using Date = Migration::QMControlDate;
    EXPECT_EQ(Date::Pattern(L"dd/mm/yyyy hh:nn"), L"dd/mm/yyyy HH:nn");
    EXPECT_EQ(Date::Pattern(L"\"At\"hh"), L"'At'HH");
    EXPECT_EQ(Date::Pattern(L"\"it's\" h"), L"'it''s' H");
    EXPECT_EQ(Date::Pattern(L"\"'x\"h"), L"'''x'H");  // a quote right after the opening one
    EXPECT_EQ(Date::Pattern(L"\"\"h"), L"H");         // empty quotes write nothing
    EXPECT_EQ(Date::Pattern(L"h\"hh"), L"H'hh");      // no closing quote is added
    EXPECT_EQ(Date::Pattern(L"h\""), L"H");
    EXPECT_EQ(Date::Pattern(L""), L"");
    // A long format grows the pattern without bound.
    std::wstring longFormat(5000, L'h');
    EXPECT_EQ(Date::Pattern(QMWideString(L"\"" + longFormat + L"\"")).Length(), 5002u);
}

TEST(Controls, DateValuesTurnToUniversalTime) {
    std::string winter, text, report;
    {
        ScopedEnv zone("TZ", "Europe/Helsinki");
        winter = Migrated("<date id='d' value='2024-01-15 12:00:00' field='F' format='\"x\"'/>");
        text = Migrated("<date id='d' value='today'/>");
        report = Migrated(
            "<show id='s'><report value='R' groupBy='DAY' begin='2024-07-01 03:00' end='bad'/>"
            "</show>");
    }
    EXPECT_TRUE(Has(winter, "value=\"2024-01-15 10:00:00\" field=\"F\" pattern=\"&apos;x&apos;\""));
    EXPECT_TRUE(Has(text, "value=\"today\" pattern=\"\""));
    EXPECT_TRUE(Has(report, "<showReport "));
    EXPECT_TRUE(Has(report, "report=\"R\" groupBy=\"DAY\" begin=\"2024-07-01 00:00:00\"/>"));
    EXPECT_FALSE(Has(report, "end="));
}

TEST(Controls, ViewsLinksAndCommands) {
    // Each element's page holds every text of `has` and none of `lacks`.
    const struct {
        const char* element;
        std::vector<std::string> has;
        std::vector<std::string> lacks = {};
    } cases[] = {
        {"<show id='s'><device value='M1'/></show>", {"<showDevice id=\"s\"", "device=\"M1\"/>"}},
        {"<show><event logger='F' groupId='G'/></show>", {"<showActivedEvents"}},
        {"<show><event groupId='G'/></show>", {"<showActivedEvents"}, {"group"}},
        {"<show><event logger='T' groupId='G' groupBy='DAY' totalize='T'/></show>",
         {"<showHistoricEvents", "group=\"G\" groupBy=\"DAY\" totalized=\"T\""}},
        {"<show><alarm groupId='ALL' groupBy='WEEK'/></show>",
         {"<showHistoricEvents", "groupBy=\"WEEK\" totalized=\"F\""},
         {"group=\""}},
        // The first known view wins, in a fixed order whatever the document order.
        {"<show><logger/><device value='D'/></show>", {"<showDevice"}},
        {"<show><logger groupBy='DAY' period='AUTO'><var>[dev#var]</var><var>x]y</var>"
         "<var>a[b</var><other>z</other></logger></show>",
         {"<showGraph",
          "type=\"GSTD\" groupBy=\"DAY\"><variable id=\"dev:var\"/>"
          "<variable id=\"x\"/><variable id=\"b\"/></showGraph>"},
         {"period"}},
        {"<show><logger mode='TABLE' period='WEEK'/></show>",
         {"<showTable", "type=\"TSTD\" groupBy=\"\" period=\"WEEK\""}},
        {"<show><logger period='FILE'/></show>", {"<showGraph"}, {"period"}},
        {"<screen value='Main.xscn'/>", {"scada=\"Main\""}},
        {"<screen value='Main.XSCN'/>", {"scada=\"Main.XSCN\""}},
        {"<screen value='.xscn'/>", {"scada=\"\""}},
        {"<command value='calc' valueParam='-x'/>",
         {"<launchApp ", "appName=\"calc\" appParam=\"-x\"/>"}},
        {"<command value=''/>", {"<launchApp "}, {"app"}},
        {"<forceVariables><variable name='[dev#var]' value='1'/><variable value='2'/>"
         "</forceVariables>",
         {"<variable id=\"dev#var\" value=\"1\"/><variable id=\"\" value=\"2\"/></forceValues>"}},
    };
    for (const auto& c : cases) {
        const std::string page = Migrated(c.element);
        for (const std::string& part : c.has) {
            EXPECT_TRUE(Has(page, part)) << page << " lacks " << part;
        }
        for (const std::string& part : c.lacks) {
            EXPECT_FALSE(Has(page, part)) << page << " has " << part;
        }
    }
    EXPECT_EQ(Migrated("<show><unknown/></show>"), "dropped");
}

TEST(Controls, ConditionedKeepsEmptyEntries) {
    const std::string conditioned = Migrated(
        "<conditioned id='c'><control condition='[a#b] &gt; 1'><label id='i' value='Hot'/>"
        "</control><control condition='else'><unknown/></control>"
        "<control condition='x'><formule id='f' format='1.1'/></control></conditioned>");
    EXPECT_TRUE(Has(conditioned, "<control condition=\"[a:b] &gt; 1\"><label id=\"i\""));
    EXPECT_TRUE(Has(conditioned,
                    "<control condition=\"else\"/><control condition=\"x\">"
                    "<formule id=\"f\""));

    Migration::QMControlConditioned control(2);
    ASSERT_TRUE(
        ReadInto(control, "<conditioned><control/><control><date/></control></conditioned>"));
    ASSERT_EQ(control.controls.size(), 2u);
    EXPECT_EQ(control.controls[0], nullptr);
    ASSERT_NE(control.controls[1], nullptr);
    EXPECT_EQ(control.controls[1]->layer, 4);
}

TEST(Controls, FloodfillNeedsItsHotSpot) {
    EXPECT_EQ(Migrated("<floodfill hotX='1'/>"), "dropped");
    EXPECT_EQ(Migrated("<floodfill hotY='1'/>"), "dropped");
    Migration::QMControlFloodfill flood(1);
    ASSERT_TRUE(ReadInto(flood,
                         "<floodfill hotX='1.5' hotY='2' tolerance='3'><control "
                         "condition='c' color='FF0000'/><control/></floodfill>"));
    EXPECT_EQ(flood.hotX, 1.5);
    EXPECT_EQ(flood.hotY, 2.0);
    EXPECT_EQ(flood.tolerance, 3.0);
    ASSERT_EQ(flood.colours.size(), 2u);
    // Without a rendered background only the control and its colours are written.
    EXPECT_EQ(Migrated("<floodfill id='f' hotX='1' hotY='2'><control condition='c' "
                       "color='FF'/></floodfill>"),
              "<page><floodFill id=\"f\" x=\"0.00\" y=\"0.00\" width=\"10.00\" "
              "height=\"10.00\" color=\"000000\"><control condition=\"c\" color=\"FF\"/>"
              "</floodFill></page>");
}

TEST_F(ImageControls, EmbeddedImagesTakeTheFirstFreeNumber) {
    Store("image1", 3);
    Store("image2", 3);
    CxImage picture = Plain(4, 5, 10);
    const std::string embedded = Base64Png(picture);
    const std::string page = Migrated(("<image id='s' value='" + embedded +
                                       "' horizontalAlign='4' "
                                       "verticalAlign='16' maintainRealSize='F'/>")
                                          .c_str());
    EXPECT_TRUE(Has(page, "<staticImage id=\"s\""));
    EXPECT_TRUE(Has(page,
                    "maintainAspectRatio=\"T\" maintainRealSize=\"F\"><image "
                    "imageId=\"image3\" horizontalAlign=\"CENTER\" "
                    "verticalAlign=\"CENTER\"/></staticImage>"));
    EXPECT_TRUE(dir_.Exists("cfg/Images/image3.img"));

    Migration::QMControlBackgroundImage background(0);
    ASSERT_TRUE(ReadInto(background, "<page background='" + embedded + "'/>"));
    EXPECT_EQ(background.placement.imageId, L"image4");
    ASSERT_NE(background.image, nullptr);
    EXPECT_EQ(background.image->GetWidth(), 4u);
    EXPECT_EQ(background.image->GetBpp(), 24u);
}

TEST_F(ImageControls, ImageFilesAreStoredOnceUnderTheirName) {
    CxImage picture = Plain(6, 2, 90);
    dir_.MakeDirectory("cfg/pics");
    CxIOFile file;
    ASSERT_TRUE(file.Open(dir_.Path("cfg/pics/Pump.png").c_str(), "wb"));
    ASSERT_TRUE(picture.Encode(&file, 3));
    file.Close();
    EXPECT_TRUE(Has(Migrated("<image valueFile='pics\\Pump.png' horizontalAlign='2' "
                             "verticalAlign='8'/>"),
                    "imageId=\"Pump\" horizontalAlign=\"RIGHT\" verticalAlign=\"BOTTOM\""));
    const std::string stored = dir_.ReadText("cfg/Images/Pump.img");
    EXPECT_FALSE(stored.empty());
    // An image already stored under the name is left as it is.
    dir_.WriteText("cfg/Images/Pump.img", "kept");
    Migrated("<image valueFile='pics/Pump.png'/>");
    EXPECT_EQ(dir_.ReadText("cfg/Images/Pump.img"), "kept");
}

TEST_F(ImageControls, BackgroundComesFromItsStoredFileWhenTheFileIsGone) {
    Store("Plant", 7);
    Migration::QMControlBackgroundImage background(0);
    ASSERT_TRUE(ReadInto(background,
                         "<page backgroundFile='..\\gone\\Plant.bmp' horizontalAlign='1' "
                         "maintainAspectRatio='F'/>"));
    EXPECT_EQ(background.placement.imageId, L"Plant");
    ASSERT_NE(background.image, nullptr);
    EXPECT_EQ(background.image->GetWidth(), 7u);
    EXPECT_EQ(background.image->GetBpp(), 24u);
    EXPECT_EQ(background.placement.imageHorizontalAlign, 1);
    EXPECT_FALSE(background.placement.maintainAspectRatio);

    // Without a stored file nothing is left to render; the name stays.
    ASSERT_TRUE(ReadInto(background, "<page backgroundFile='gone.bmp'/>"));
    EXPECT_EQ(background.image, nullptr);
    EXPECT_EQ(background.placement.imageId, L"gone");
    // Embedded bytes that are no image leave no image and no name.
    Migration::QMControlBackgroundImage broken(0);
    ASSERT_TRUE(ReadInto(broken, "<page background='AAAA'/>"));
    EXPECT_EQ(broken.image, nullptr);
    EXPECT_TRUE(broken.placement.imageId.IsEmpty());
    EXPECT_FALSE(dir_.Exists("cfg/Images/image1.img"));
}
