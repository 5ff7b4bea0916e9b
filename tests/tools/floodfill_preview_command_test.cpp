// End-to-end tests of `qmsupport floodfill-preview`, run as a separate process.

#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/raster.h>
#include <qmsupport/legacy/transform_scada_report_to25.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/xml/xml_document.h>

#include "common/image_test_util.h"
#include "common/page_migration_scene.h"
#include "common/run_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

ProgramResult Preview(const TempDir& dir, std::vector<std::string> args) {
    return RunCommand(dir, "floodfill-preview", std::move(args));
}

struct Rgb {
    int red, green, blue;
    bool operator==(const Rgb&) const = default;
};

Rgb At(const CxImage& image, long x, long y) {
    const uint8_t* p = image.TopRow(y) + x * 3;
    return Rgb{p[0], p[1], p[2]};
}

// A white 60 × 40 picture with a grey 20 × 10 panel at (30, 20) and a black pixel in it.
void WritePanel(const TempDir& dir) {
    CxImage image = GreyPicture(60, 40, [](long x, long y) -> uint8_t {
        const bool panel = x >= 30 && x < 50 && y >= 20 && y < 30;
        return x == 45 && y == 25 ? 0 : panel ? 100 : 255;
    });
    dir.WriteText("panel.png", EncodeImageBytes(image, qm::images::kFormatPng));
}

}  // namespace

TEST(FloodfillPreviewCommand, TintsTheRegionOutlinesItsBoxAndMarksTheSeed) {
    TempDir dir;
    WritePanel(dir);
    ProgramResult result = Preview(dir, {"panel.png", "--seed", "35,28", "-o", "out.png"});
    ASSERT_EQ(result.status, 0) << result.err;
    // The panel less its black pixel; the box is the panel's.
    EXPECT_EQ(result.out, "filled 199 pixels; box 30,20 to 49,29 (20x10)\n");
    CxImage out = DecodeImageBytes(dir.ReadText("out.png"));
    ASSERT_TRUE(out.IsValid());
    ASSERT_EQ(out.GetWidth(), 60u);
    EXPECT_EQ(At(out, 31, 21), (Rgb{177, 50, 177}));  // grey blended with magenta
    EXPECT_EQ(At(out, 45, 25), (Rgb{0, 0, 0}));       // not filled
    EXPECT_EQ(At(out, 10, 10), (Rgb{255, 255, 255}));
    EXPECT_EQ(At(out, 29, 19), (Rgb{0, 96, 255}));  // the outline, just outside the box
    EXPECT_EQ(At(out, 50, 30), (Rgb{0, 96, 255}));
    EXPECT_EQ(At(out, 40, 19), (Rgb{0, 96, 255}));
    EXPECT_EQ(At(out, 35, 28), (Rgb{255, 0, 0}));  // the seed's cross
    EXPECT_EQ(At(out, 35, 23), (Rgb{255, 0, 0}));
    EXPECT_EQ(At(out, 40, 28), (Rgb{255, 0, 0}));

    // A tolerance that reaches from grey to black takes in the black pixel too.
    result = Preview(dir, {"panel.png", "--seed=35,28", "--tolerance=174", "-o", "all.png"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "filled 200 pixels; box 30,20 to 49,29 (20x10)\n");
}

TEST(FloodfillPreviewCommand, RefusesBadSeedsAndFiles) {
    TempDir dir;
    WritePanel(dir);
    dir.WriteText("junk.png", "no image");
    ProgramResult result = Preview(dir, {"panel.png", "--seed", "60,0", "-o", "out.png"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("outside the 60x40 image"), std::string::npos) << result.err;
    EXPECT_FALSE(dir.Exists("out.png"));
    EXPECT_EQ(Preview(dir, {"junk.png", "--seed", "1,1", "-o", "out.png"}).status, 1);
    EXPECT_EQ(Preview(dir, {"missing.png", "--seed", "1,1", "-o", "out.png"}).status, 1);
    for (const char* seed : {"1", "1,", "a,1", "1,2,3", "99999999999999999999,1"}) {
        result = Preview(dir, {"panel.png", "--seed", seed, "-o", "out.png"});
        EXPECT_EQ(result.status, 2) << seed;
        EXPECT_NE(result.err.find("--seed"), std::string::npos) << result.err;
    }
    EXPECT_EQ(
        Preview(dir, {"panel.png", "--seed", "1,1", "--tolerance", "x", "-o", "o.png"}).status, 2);
    EXPECT_EQ(Preview(dir, {"panel.png", "--seed", "1,1"}).status, 2);  // no -o
    EXPECT_EQ(Preview(dir, {"--seed", "1,1", "-o", "out.png"}).status, 2);
    EXPECT_EQ(Preview(dir, {"--help"}).status, 0);
    EXPECT_FALSE(dir.Exists("out.png"));
}

namespace {

// A 100 × 60 background: white, with a box of black lines around a grey inside from (21, 11)
// to (69, 39).
std::string BoxBackgroundBase64() {
    CxImage image = GreyPicture(100, 60, [](long x, long y) -> uint8_t {
        const bool line = x == 20 || x == 70 || y == 10 || y == 40;
        return x < 20 || x > 70 || y < 10 || y > 40 ? 255 : line ? 0 : 200;
    });
    const std::string png = EncodeImageBytes(image, qm::images::kFormatPng);
    QMNarrowString text;
    EncodeBase64(text, reinterpret_cast<const unsigned char*>(png.data()), png.size());
    return text.str();
}

}  // namespace

// A screen migrated with a floodfill inside the box of its background, and a page without
// floodfills: each page becomes a picture, the mask tinted and outlined at its place.
TEST(FloodfillPreviewCommand, ScreenPagesShowTheirMasksOverTheBackground) {
    PageMigrationScene scene("Cfg/Images");
    const TempDir& dir = scene.dir;
    // 50 by 30 mm are 188 by 113 pixels: the image sits centred at (44, 26). The hot spot is
    // page pixel (89, 51), the box's inside (65, 37) to (113, 65).
    const std::string screen =
        "<design><page width='50' height='30' background='" + BoxBackgroundBase64() +
        "' maintainRealSize='T'><floodfill hotX='23.68' hotY='13.63'/></page>"
        "<page width='20' height='10'><label/></page></design>";
    XmlDocument document;
    ASSERT_TRUE(document.Parse(screen.c_str()));
    QMTransformScadaReportTo25 migration;
    ASSERT_TRUE(migration.Transform(document, true));
    ASSERT_TRUE(document.SaveAs(dir.WidePath("Cfg/Main.xscn").c_str()));

    ProgramResult result = Preview(dir, {"--screen", "Cfg/Main.xscn", "-o", "pictures"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "pictures/page1.png: 1 floodfills\npictures/page2.png: 0 floodfills\n");
    CxImage page = DecodeImageBytes(dir.ReadText("pictures/page1.png"));
    ASSERT_TRUE(page.IsValid());
    ASSERT_EQ(page.GetWidth(), 188u);
    ASSERT_EQ(page.GetHeight(), 113u);
    EXPECT_EQ(At(page, 100, 60), (Rgb{227, 100, 227}));  // grey inside, tinted
    EXPECT_EQ(At(page, 112, 64), (Rgb{227, 100, 227}));
    EXPECT_EQ(At(page, 64, 50), (Rgb{0, 96, 255}));   // the outline
    EXPECT_EQ(At(page, 113, 64), (Rgb{0, 96, 255}));  // the mask drops the box's last column
    EXPECT_EQ(At(page, 114, 50), (Rgb{0, 0, 0}));     // the box's line, untouched
    EXPECT_EQ(At(page, 65, 37), (Rgb{0, 0, 0}));      // the number's plate
    EXPECT_EQ(At(page, 10, 10), (Rgb{255, 255, 255}));
    CxImage empty = DecodeImageBytes(dir.ReadText("pictures/page2.png"));
    ASSERT_TRUE(empty.IsValid());
    EXPECT_EQ(empty.GetWidth(), 75u);

    dir.WriteText("huge.xscn",
                  "<scadaLayout><page width='1e12' height='10'/><page width='10' height='10'/>"
                  "</scadaLayout>");
    result = Preview(dir, {"--screen", "huge.xscn", "-o", "huge"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("page 1"), std::string::npos) << result.err;
    EXPECT_TRUE(dir.Exists("huge/page2.png"));
    dir.WriteText("none.xscn", "<scadaLayout/>");
    EXPECT_EQ(Preview(dir, {"--screen", "none.xscn", "-o", "none"}).status, 1);
    EXPECT_EQ(Preview(dir, {"--screen", "missing.xscn", "-o", "none"}).status, 1);
    EXPECT_EQ(Preview(dir, {"--screen", "none.xscn", "--seed", "1,1", "-o", "x"}).status, 2);
    EXPECT_EQ(Preview(dir, {"--screen", "none.xscn"}).status, 2);
}
