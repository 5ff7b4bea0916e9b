// Images whose headers lie, and every truncation of small valid files: each decodes to
// nothing, or (for a prefix that still holds every pixel) to the whole image, and no decoder
// allocates more than a few bytes for pixels it has not seen.
#include <qmsupport/images/cx_image.h>

#include "common/image_test_util.h"
#include "images/pixel_memory.h"

#include <gtest/gtest.h>

#include <gif_lib.h>
#include <zlib.h>

#include <climits>

using namespace qm::images;

namespace {

// A copy of `s` with the `bytes` low bytes of `v` written at `at`, little-endian unless
// `bigEndian`.
std::string With(std::string s, size_t at, uint32_t v, int bytes = 4, bool bigEndian = false) {
    for (int i = 0; i < bytes; ++i) {
        s.replace(at + static_cast<size_t>(bigEndian ? bytes - 1 - i : i), 1, 1,
                  static_cast<char>(v >> (8 * i)));
    }
    return s;
}

int AppendGifBytes(GifFileType* gif, const GifByteType* bytes, int count) {
    static_cast<std::string*>(gif->UserData)
        ->append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
    return count;
}

// A 2 × 2 GIF written by giflib: a four-colour table (red, green, blue, white) and one image
// of indices 0, 1, 2, 3. Its image descriptor starts at byte 25.
std::string SmallGif() {
    std::string out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, AppendGifBytes, &error);
    GifColorType colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    GifPixelType pixels[4] = {0, 1, 2, 3};
    EXPECT_EQ(EGifPutScreenDesc(gif, 2, 2, 2, 0, map), GIF_OK);
    EXPECT_EQ(EGifPutImageDesc(gif, 0, 0, 2, 2, false, nullptr), GIF_OK);
    EXPECT_EQ(EGifPutLine(gif, pixels, 4), GIF_OK);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

std::string SmallImage(uint32_t format) {
    CxImage image;
    PaintTestImage(image, 9, 7);
    return EncodeImageBytes(image, format);
}

// The PNG with its IHDR declaring another size, with a correct checksum.
std::string PngDeclaring(uint32_t width, uint32_t height) {
    const std::string png =
        With(With(SmallImage(kFormatPng), 16, width, 4, true), 20, height, 4, true);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
    return With(png, 29, static_cast<uint32_t>(crc), 4, true);
}

class HostileImage : public ::testing::Test {
  protected:
    void SetUp() override { detail::ResetPeakCountedBytes(); }
    void TearDown() override {
        // Nothing was decoded at the declared sizes: the peak stays far below the bound.
        EXPECT_LT(detail::PeakCountedBytes() - detail::CountedBytes(), size_t{16} << 20);
        EXPECT_EQ(detail::CountedBytes(), 0u);
    }
    static void ExpectRejected(const std::string& bytes, uint32_t format, const char* what) {
        EXPECT_FALSE(DecodeImageBytes(bytes, format).IsValid()) << what;
        EXPECT_FALSE(DecodeImageBytes(bytes, kFormatUnknown).IsValid()) << what;
    }
};

}  // namespace

TEST_F(HostileImage, PngDeclaringHugeOrZeroSizes) {
    ASSERT_TRUE(DecodeImageBytes(PngDeclaring(9, 7)).IsValid());  // the patch itself is sound
    ExpectRejected(PngDeclaring(100000, 100000), kFormatPng, "100000 x 100000");
    ExpectRejected(PngDeclaring(16384, 16384), kFormatPng, "past the pixel count");
    ExpectRejected(PngDeclaring(0, 7), kFormatPng, "zero width");
}

TEST_F(HostileImage, JpegFrameOf65535Squared) {
    std::string jpeg = SmallImage(kFormatJpeg);
    size_t sof = jpeg.find("\xff\xc0", 2);
    ASSERT_NE(sof, std::string::npos);
    jpeg[sof + 5] = jpeg[sof + 6] = jpeg[sof + 7] = jpeg[sof + 8] = '\xff';
    ExpectRejected(jpeg, kFormatJpeg, "65535 x 65535");
}

TEST_F(HostileImage, GifScreensAndFrames) {
    const std::string gif = SmallGif();
    CxImage image = DecodeImageBytes(gif);
    ASSERT_TRUE(image.IsValid());
    EXPECT_EQ(image.GetType(), kFormatGif);
    EXPECT_EQ(image.GetPixelColor(0, 1).rgbRed, 255);    // index 0, top-left
    EXPECT_EQ(image.GetPixelColor(1, 0).rgbGreen, 255);  // index 3, bottom-right: white
    ExpectRejected(With(With(gif, 6, 65535, 2), 8, 65535, 2), kFormatGif, "screen 65535 x 65535");
    // A frame wider than its screen, and one of the screen's size moved right by one.
    ExpectRejected(With(gif, 25 + 5, 3, 2), kFormatGif, "frame past the screen");
    ExpectRejected(With(gif, 25 + 1, 1, 2), kFormatGif, "frame moved past the screen");
}

TEST_F(HostileImage, BmpHeights) {
    const std::string bmp = SmallImage(kFormatBmp);
    CxImage bottomUp = DecodeImageBytes(bmp);
    ASSERT_TRUE(bottomUp.IsValid());
    // A legal top-down bitmap: it loads.
    CxImage flipped = DecodeImageBytes(With(bmp, 22, static_cast<uint32_t>(-7)));
    ASSERT_TRUE(flipped.IsValid());
    EXPECT_EQ(flipped.GetHeight(), 7u);
    EXPECT_EQ(flipped.GetPixelColor(4, 0).rgbRed, bottomUp.GetPixelColor(4, 6).rgbRed);
    EXPECT_EQ(flipped.GetPixelColor(0, 6).rgbGreen, bottomUp.GetPixelColor(0, 0).rgbGreen);

    // -2^31 has no positive twin.
    ExpectRejected(With(bmp, 22, 0x80000000u), kFormatBmp, "height -2^31");
    ExpectRejected(With(bmp, 18, 0x80000000u), kFormatBmp, "width 2^31");
    ExpectRejected(With(bmp, 46, 100000), kFormatBmp, "palette count");
    ExpectRejected(With(With(bmp, 28, 8, 2), 46, 257), kFormatBmp, "257 colours at 8 bits");
}

TEST_F(HostileImage, StbFormatsDeclaringHugeSizes) {
    std::string pnm = "P6\n2 2\n255\n" + std::string(12, '\x80');
    CxImage image = DecodeImageBytes(pnm);
    ASSERT_TRUE(image.IsValid());
    EXPECT_EQ(image.GetType(), kFormatOther);
    ExpectRejected("P6\n99999 99999\n255\n" + std::string(12, '\x80'), kFormatOther, "PNM");
    ExpectRejected("P6\n16384 16384\n255\n" + std::string(12, '\x80'), kFormatOther, "PNM count");
    ExpectRejected("P6\n8192 8192\n255\n" + std::string(12, '\x80'), kFormatOther, "PNM data");
    ExpectRejected("P6\n3\n 300000000000000#5\n" + std::string(12, '\x80'), kFormatOther,
                   "PNM number past int");
    ASSERT_TRUE(DecodeImageBytes("P6 # comment\n2 2\n255\n" + std::string(12, '\x80')).IsValid());
    // An uncompressed TGA of 8192 × 8192 in a few bytes.
    const char tga[] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20, 0, 0x20, 24, 0};
    ExpectRejected(std::string(tga, sizeof tga) + std::string(30, '\x7f'), kFormatOther, "TGA");
    ExpectRejected(std::string("not an image at all"), kFormatOther, "text");
    // 16-bit samples, which stb once converted past its buffer and reads in the wrong order.
    ExpectRejected("P5\n2 2\n2558\n" + std::string(8, '\x40'), kFormatOther, "16-bit PNM");
}

TEST_F(HostileImage, EveryPrefixFailsOrHoldsEveryPixel) {
    std::vector<std::pair<uint32_t, std::string>> files = {
        {kFormatPng, SmallImage(kFormatPng)},
        {kFormatJpeg, SmallImage(kFormatJpeg)},
        {kFormatBmp, SmallImage(kFormatBmp)},
        {kFormatGif, SmallGif()},
        {kFormatOther, "P6\n3 1\n255\n" + std::string("\x10\x20\x30\x40\x50\x60\x70\x80\x90", 9)},
    };
    for (const auto& [format, bytes] : files) {
        CxImage whole = DecodeImageBytes(bytes, format);
        ASSERT_TRUE(whole.IsValid()) << format;
        for (size_t length = 0; length < bytes.size(); ++length) {
            CxImage part = DecodeImageBytes(bytes.substr(0, length), format);
            if (!part.IsValid()) {
                continue;
            }
            ASSERT_TRUE(SamePixels(part, whole)) << format << " at " << length;
        }
    }
}
