#include <qmsupport/images/image_xml.h>

#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/store/resource_chain.h>
#include <qmsupport/toolsapi/codecs.h>

#include "common/image_test_util.h"
#include "common/temp_dir.h"

#include <gtest/gtest.h>

#include <set>

using namespace qm::images;

namespace {

// A resource module in a temporary directory; removed from the chain at the end.
class ResourceModule {
  public:
    ResourceModule() {
        dir_.MakeDirectory("bitmaps");
        dir_.MakeDirectory("icons");
    }
    ~ResourceModule() { qm::platform::ResourceChain::RemoveModule(handle_); }
    void Join() { handle_ = qm::platform::ResourceChain::AddModule(dir_.Path()); }
    void Put(const std::string& relative, CxImage& image, uint32_t format) {
        dir_.WriteText(relative, EncodeImageBytes(image, format));
    }

  private:
    TempDir dir_;
    int handle_ = -1;
};

CxImage ImageOfText(const QMWideString& text) {
    QMNarrowString bytes, narrow;
    Utf16ToUtf8(narrow, text.c_str());
    EXPECT_TRUE(DecodeBase64String(bytes, narrow.c_str(), narrow.Length()));
    return CxImage(reinterpret_cast<const uint8_t*>(bytes.c_str()), bytes.Length(), 0);
}

RGBQUAD Quad(uint8_t red, uint8_t green, uint8_t blue) {
    return RGBQUAD{blue, green, red, 255};
}

}  // namespace

TEST(EncodedImage, PngWithTheTransparentColourDecodesBackAndFailuresKeepTheirOutput) {
    CxImage image;
    PaintTestImage(image, 8, 8);
    image.SetPixelColor(2, 2, Quad(255, 0, 255));
    QMWideString text(L"old");
    ASSERT_TRUE(EncodedImage(text, image, 0xFF00FF));
    EXPECT_TRUE(image.AlphaIsValid());  // the image passed in is changed
    CxImage back = ImageOfText(text);
    ASSERT_TRUE(back.IsValid());
    EXPECT_EQ(back.GetType(), kFormatPng);
    EXPECT_EQ(back.GetPixelColor(2, 2).rgbReserved, 0);
    EXPECT_EQ(back.GetPixelColor(3, 2).rgbReserved, 255);

    QMNarrowString narrow("old");
    CxImage empty;
    EXPECT_FALSE(EncodedImage(narrow, empty, 0));
    EXPECT_EQ(narrow, "old");

    // Decoded to a bitmap, with the colour of its top-left corner.
    Bitmap bitmap;
    unsigned long corner = 7;
    ASSERT_TRUE(DecodeBase64Image(text, bitmap, corner));
    EXPECT_EQ(corner, 255u);  // pure red, as a Windows colour value
    ASSERT_EQ(bitmap.Width(), 8u);
    EXPECT_EQ(bitmap.Pixels()[2], 255);  // top-left red, B G R A

    EXPECT_FALSE(DecodeBase64Image(QMWideString(), bitmap));
    EXPECT_FALSE(bitmap.IsEmpty());  // empty text touches nothing
    EXPECT_FALSE(DecodeBase64Image(QMWideString(L"not*base64!"), bitmap, corner));
    EXPECT_TRUE(bitmap.IsEmpty());  // the old bitmap is gone
    EXPECT_EQ(corner, 255u);

    ASSERT_TRUE(DecodeBase64Image(text, bitmap));
    EXPECT_TRUE(DecodeBase64Image(QMWideString(L"AAAA"), bitmap));  // base64, but no image
    EXPECT_TRUE(bitmap.IsEmpty());
}

TEST(EncodedBmpImage, BitmapsAndIconsComeFromTheResourceChain) {
    CxImage bitmap, icon;
    PaintTestImage(bitmap, 5, 4);
    PaintTestImage(icon, 3, 2);
    ResourceModule module;
    module.Put("bitmaps/4711.bmp", bitmap, kFormatBmp);
    module.Put("icons/12.png", icon, kFormatPng);
    module.Join();
    QMNarrowString text("kept");
    EXPECT_FALSE(EncodedBmpImage(text, 4712, 0));  // an unknown id leaves the string
    EXPECT_EQ(text, "kept");
    QMWideString wide(L"kept");
    EXPECT_FALSE(EncodedBmpImage(wide, -1, 0));
    EXPECT_EQ(wide, L"kept");
    ASSERT_TRUE(EncodedBmpImage(wide, 4711, 0));
    CxImage back = ImageOfText(wide);
    ASSERT_EQ(back.GetWidth(), 5u);
    EXPECT_EQ(back.GetPixelColor(0, 3).rgbRed, 255);  // the red corner is on top

    Bitmap iconBitmap = Icon2Bitmap(12);
    ASSERT_EQ(iconBitmap.Width(), 3u);
    EXPECT_EQ(iconBitmap.Height(), 2u);
    EXPECT_TRUE(Icon2Bitmap(13).IsEmpty());
}

TEST(Image2XMLFile, WritesTheFullAndTheSmallImage) {
    TempDir dir;
    QMTarvioSetup setup;
    setup.SetImagesPath(QMWideString((dir.WidePath() + L"Images\\").c_str()));
    dir.MakeDirectory("images");  // found without regard to case
    struct Case {
        uint32_t width, height, smallWidth, smallHeight;
    };
    for (Case c : {Case{64, 64, 64, 64}, Case{65, 10, 416, 64}, Case{200, 100, 128, 64},
                   Case{100, 300, 64, 192}, Case{30, 20, 30, 20}}) {
        CxImage image;
        PaintTestImage(image, c.width, c.height, 8);
        ASSERT_TRUE(Image2XMLFile(L"pic", &image));
        EXPECT_EQ(image.GetBpp(), 24u);  // left converted
        QMWideString full, small;
        Utf8ToUtf16(full, dir.ReadText("images/pic.img").c_str());
        Utf8ToUtf16(small, dir.ReadText("images/pic.limg").c_str());
        CxImage fullImage = ImageOfText(full), smallImage = ImageOfText(small);
        EXPECT_EQ(fullImage.GetType(), kFormatPng);
        EXPECT_EQ(fullImage.GetWidth(), c.width);
        EXPECT_EQ(smallImage.GetType(), kFormatJpeg);
        EXPECT_EQ(smallImage.GetWidth(), c.smallWidth) << c.width << "x" << c.height;
        EXPECT_EQ(smallImage.GetHeight(), c.smallHeight) << c.width << "x" << c.height;
    }
    CxImage empty;
    EXPECT_FALSE(Image2XMLFile(L"none", &empty));
    EXPECT_FALSE(Image2XMLFile(L"none", nullptr));
    EXPECT_FALSE(dir.Exists("images/none.img"));
    CxImage image;
    PaintTestImage(image, 4, 4);
    EXPECT_FALSE(Image2XMLFile(L"missing\\pic", &image));  // no such folder
    EXPECT_FALSE(dir.Exists("images/missing"));
}

TEST(DevicesImageList, SmallImageOfEveryRowWithMagentaMasked) {
    QMTarvioSetup setup;
    ResourceModule module;
    // Each image id gets its own colour, with a magenta top-left pixel; one id is missing and
    // one is twice the size.
    std::set<int> ids;
    for (int row = 0; row < qm::kDriverCount; ++row) {
        ids.insert(setup.DriverImage(row, false));
    }
    ASSERT_TRUE(ids.count(157));
    const int missing = *ids.rbegin(), large = *std::next(ids.begin());
    ASSERT_NE(missing, 157);
    ASSERT_NE(large, 157);
    auto colourOf = [](int id) { return Quad(id % 251, 40 + id / 251, 99); };
    for (int id : ids) {
        if (id == missing) {
            continue;
        }
        const uint32_t side = id == large ? 32 : 16;
        CxImage image;
        ASSERT_TRUE(image.Create(side, side, 24));
        for (uint32_t y = 0; y < side; ++y) {
            for (uint32_t x = 0; x < side; ++x) {
                bool corner = x < side / 8 && y >= side - side / 8;
                image.SetPixelColor(x, y, corner ? Quad(255, 0, 255) : colourOf(id));
            }
        }
        module.Put("bitmaps/" + std::to_string(id) + ".bmp", image, kFormatBmp);
    }
    module.Join();

    ImageList list;
    ASSERT_TRUE(setup.CreateDevicesImageList(list));
    ASSERT_EQ(list.GetImageCount(), qm::kDriverCount);
    EXPECT_EQ(setup.DriverImage(61, false), 157);  // row 61 is never enabled
    for (int row = 0; row < qm::kDriverCount; ++row) {
        const int id = setup.DriverImage(row, false);
        const Bitmap& image = *list.GetImage(row);
        const std::vector<uint8_t>& mask = *list.GetMask(row);
        ASSERT_EQ(image.Width(), 16u);
        ASSERT_EQ(image.Height(), 16u);
        if (id == missing) {
            EXPECT_EQ(std::count(mask.begin(), mask.end(), 1), 256) << row;
            continue;
        }
        EXPECT_EQ(mask[0], 1) << row;  // magenta, top-left
        EXPECT_EQ(image.Pixels()[3], 0);
        EXPECT_EQ(mask[8 * 16 + 8], 0);
        const uint8_t* centre = image.Pixels() + (8 * 16 + 8) * 4;
        RGBQUAD expected = colourOf(id);
        EXPECT_EQ(centre[2], expected.rgbRed) << row;
        EXPECT_EQ(centre[1], expected.rgbGreen) << row;
        EXPECT_EQ(centre[3], 255);
    }
    // A second call starts afresh.
    ASSERT_TRUE(setup.CreateDevicesImageList(list));
    EXPECT_EQ(list.GetImageCount(), qm::kDriverCount);
}
