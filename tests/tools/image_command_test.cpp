// End-to-end tests of `qmsupport image`, run as a separate process.

#include <qmsupport/images/cx_image.h>

#include "common/image_test_util.h"
#include "common/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <string>

namespace {

// Runs `qmsupport image ARGS` in the directory; returns the exit status and stdout.
int RunImage(const TempDir& dir, const std::string& args, std::string* out = nullptr) {
    std::string command =
        "cd '" + dir.Path() + "' && '" QMSUPPORT_TOOL "' image " + args + " >out.txt 2>err.txt";
    int status = std::system(command.c_str());
    if (out) {
        *out = dir.ReadText("out.txt");
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(ImageCommand, InfoToImgAndBackToPng) {
    TempDir dir;
    CxImage image;
    PaintTestImage(image, 130, 65);
    dir.WriteText("in.bmp", EncodeImageBytes(image, qm::images::kFormatBmp));
    dir.MakeDirectory("images");
    std::string out;
    ASSERT_EQ(RunImage(dir, "info in.bmp", &out), 0);
    EXPECT_EQ(out, "BMP 130x65, 24 bits\n");
    ASSERT_EQ(RunImage(dir, "to-img plant in.bmp --images images"), 0);
    ASSERT_EQ(RunImage(dir, "info images/plant.limg", &out), 0);
    EXPECT_EQ(out, "JPEG in base64 text 128x64, 24 bits\n");
    ASSERT_EQ(RunImage(dir, "from-img images/plant.img -o back.png"), 0);
    CxImage back = DecodeImageBytes(dir.ReadText("back.png"));
    ASSERT_TRUE(back.IsValid());
    EXPECT_EQ(back.GetType(), qm::images::kFormatPng);
    EXPECT_EQ(back.GetPixelColor(0, 64).rgbRed, 255);
}

TEST(ImageCommand, ReportsBadInputAndUsage) {
    TempDir dir;
    dir.WriteText("junk.img", "not base64 at all!");
    EXPECT_EQ(RunImage(dir, "--help"), 0);
    EXPECT_EQ(RunImage(dir, "info junk.img"), 1);
    EXPECT_NE(dir.ReadText("err.txt").find("junk.img"), std::string::npos);
    EXPECT_EQ(RunImage(dir, "from-img junk.img -o out.png"), 1);
    EXPECT_FALSE(dir.Exists("out.png"));
    EXPECT_EQ(RunImage(dir, "to-img name junk.img"), 2);  // no --images
    EXPECT_EQ(RunImage(dir, "info"), 2);
    EXPECT_EQ(RunImage(dir, "convert a b"), 2);
}
