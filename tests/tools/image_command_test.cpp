// End-to-end tests of `qmsupport image`, run as a separate process.

#include <qmsupport/images/cx_image.h>

#include "common/image_test_util.h"
#include "common/run_program.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ImageCommand, InfoToImgAndBackToPng) {
    TempDir dir;
    CxImage image;
    PaintTestImage(image, 130, 65);
    dir.WriteText("in.bmp", EncodeImageBytes(image, qm::images::kFormatBmp));
    dir.MakeDirectory("images");
    EXPECT_EQ(RunCommand(dir, "image", {"info", "in.bmp"}).out, "BMP 130x65, 24 bits\n");
    ASSERT_EQ(RunCommand(dir, "image", {"to-img", "plant", "in.bmp", "--images", "images"}).status,
              0);
    EXPECT_EQ(RunCommand(dir, "image", {"info", "images/plant.limg"}).out,
              "JPEG in base64 text 128x64, 24 bits\n");
    ASSERT_EQ(RunCommand(dir, "image", {"from-img", "images/plant.img", "-o", "back.png"}).status,
              0);
    CxImage back = DecodeImageBytes(dir.ReadText("back.png"));
    ASSERT_TRUE(back.IsValid());
    EXPECT_EQ(back.GetType(), qm::images::kFormatPng);
    EXPECT_EQ(back.GetPixelColor(0, 64).rgbRed, 255);
}

TEST(ImageCommand, ReportsBadInputAndUsage) {
    TempDir dir;
    dir.WriteText("junk.img", "not base64 at all!");
    const struct {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"--help"}, 0},
        {{"info", "junk.img"}, 1},
        {{"from-img", "junk.img", "-o", "out.png"}, 1},
        {{"to-img", "name", "junk.img"}, 2},  // no --images
        {{"info"}, 2},
        {{"convert", "a", "b"}, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RunCommand(dir, "image", c.args).status, c.status) << c.args[0];
    }
    EXPECT_NE(RunCommand(dir, "image", {"info", "junk.img"}).err.find("junk.img"),
              std::string::npos);
    EXPECT_FALSE(dir.Exists("out.png"));
}
