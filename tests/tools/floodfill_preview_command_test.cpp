// End-to-end tests of `qmsupport floodfill-preview`, run as a separate process.

#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/raster.h>

#include "images/image_test_util.h"
#include "tools/run_program.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ProgramResult Preview(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "floodfill-preview");
    return RunProgram(dir, QMSUPPORT_TOOL, std::move(args));
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
    CxImage image;
    ASSERT_TRUE(qm::images::CreateWhiteCanvas(image, 60, 40));
    for (long y = 20; y < 30; ++y) {
        for (long x = 30; x < 50; ++x) {
            uint8_t* p = image.TopRow(y) + x * 3;
            p[0] = p[1] = p[2] = 100;
        }
    }
    image.TopRow(25)[45 * 3] = 0;
    image.TopRow(25)[45 * 3 + 1] = 0;
    image.TopRow(25)[45 * 3 + 2] = 0;
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
