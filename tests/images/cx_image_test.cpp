#include <qmsupport/images/bitmap.h>
#include <qmsupport/images/cx_image.h>

#include "common/image_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>  // before jpeglib.h, which needs FILE
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

using namespace qm::images;

namespace {

double Psnr(const CxImage& a, const CxImage& b) {
    double sum = 0;
    for (long y = 0; y < static_cast<long>(a.GetHeight()); ++y) {
        for (long x = 0; x < static_cast<long>(a.GetWidth()); ++x) {
            RGBQUAD p = a.GetPixelColor(x, y), q = b.GetPixelColor(x, y);
            for (int d : {p.rgbRed - q.rgbRed, p.rgbGreen - q.rgbGreen, p.rgbBlue - q.rgbBlue}) {
                sum += d * d;
            }
        }
    }
    double mse = sum / (3.0 * a.GetWidth() * a.GetHeight());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace

// BMP and PNG give the exact pixels back, JPEG at quality 90 a close picture.
TEST(CxImage, EncodedFormatsComeBackAndAreDetected) {
    CxImage image;
    PaintTestImage(image, 121, 81);  // odd width: BMP rows are padded
    for (uint32_t format : {kFormatBmp, kFormatPng, kFormatJpeg}) {
        std::string bytes = EncodeImageBytes(image, format);
        ASSERT_FALSE(bytes.empty());
        CxImage back = DecodeImageBytes(bytes);
        ASSERT_TRUE(back.IsValid()) << format;
        EXPECT_EQ(back.GetType(), format);
        EXPECT_EQ(back.GetBpp(), 24u);
        EXPECT_FALSE(back.AlphaIsValid());
        if (format == kFormatJpeg) {
            EXPECT_GE(Psnr(image, back), 35.0);
            continue;
        }
        EXPECT_TRUE(SamePixels(image, back)) << format;
        // The top-left pixel is the red corner: rows count from the bottom.
        EXPECT_EQ(back.GetPixelColor(0, 80).rgbRed, 255);
        EXPECT_EQ(back.GetPixelColor(0, 0).rgbRed, 0);
    }
}

TEST(CxImage, AlphaAndTheTransparentColourSurviveInPngAndBmp) {
    CxImage image;
    PaintTestImage(image, 16, 16);
    ASSERT_TRUE(image.AlphaCreate());
    image.SetPixelColor(3, 3, RGBQUAD{10, 20, 30, 77}, true);
    image.SetPixelColor(5, 5, RGBQUAD{255, 0, 255, 255}, true);  // magenta, opaque for now
    image.SetTransIndex(0);  // no palette: the transparent colour counts
    image.SetTransColor(RGBQUAD{255, 0, 255, 0});
    CxImage back = DecodeImageBytes(EncodeImageBytes(image, kFormatPng));
    ASSERT_TRUE(back.AlphaIsValid());
    RGBQUAD p = back.GetPixelColor(3, 3);
    EXPECT_EQ(p.rgbReserved, 77);
    EXPECT_EQ(p.rgbBlue, 10);
    EXPECT_EQ(back.GetPixelColor(5, 5).rgbReserved, 0);  // the transparent colour
    EXPECT_EQ(back.GetPixelColor(6, 5).rgbReserved, 255);

    image.SetTransIndex(-1);  // no transparency: magenta stays opaque
    EXPECT_EQ(DecodeImageBytes(EncodeImageBytes(image, kFormatPng)).GetPixelColor(5, 5).rgbReserved,
              255);
    CxImage bmp = DecodeImageBytes(EncodeImageBytes(image, kFormatBmp));
    EXPECT_TRUE(SamePixels(image, bmp));
}

// A mask (black opaque, white keyed out) is written one bit a pixel; anything else in it, a
// grey pixel or a half-transparent one, keeps it RGBA. Either way the pixels come back.
TEST(CxImage, KeyedBlackAndWhiteMasksComeBackPixelForPixel) {
    for (const RGBQUAD odd :
         {RGBQUAD{0, 0, 0, 255}, RGBQUAD{128, 128, 128, 255}, RGBQUAD{0, 0, 0, 128}}) {
        CxImage mask;
        ASSERT_TRUE(mask.Create(37, 5, 24));  // rows of 4 bytes and 5 bits
        ASSERT_TRUE(mask.AlphaCreate());
        for (long y = 0; y < 5; ++y) {
            for (long x = 0; x < 37; ++x) {
                const uint8_t v = (x * 7 + y * 3) % 5 < 2 ? 0 : 255;
                mask.SetPixelColor(x, y, RGBQUAD{v, v, v, 255}, true);
            }
        }
        mask.SetPixelColor(36, 4, odd, true);
        mask.SetTransIndex(0);
        mask.SetTransColor(RGBQUAD{255, 255, 255, 0});
        const std::string png = EncodeImageBytes(mask, kFormatPng);
        // The header's bit depth and colour type: one-bit grey, or eight-bit RGBA.
        const bool oneBit = odd.rgbRed == 0 && odd.rgbReserved == 255;
        ASSERT_GT(png.size(), 26u);
        EXPECT_EQ(png[24], oneBit ? 1 : 8);
        EXPECT_EQ(png[25], oneBit ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB_ALPHA);
        CxImage back = DecodeImageBytes(png);
        ASSERT_TRUE(back.AlphaIsValid());
        for (long y = 0; y < 5; ++y) {
            for (long x = 0; x < 37; ++x) {
                RGBQUAD want = mask.GetPixelColor(x, y);
                if (want.rgbRed == 255) {
                    want.rgbReserved = 0;  // the key
                }
                const RGBQUAD got = back.GetPixelColor(x, y);
                ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0) << x << "," << y;
            }
        }
    }
}

TEST(CxImage, PaletteDepthAndPixelsOutside) {
    CxImage image;
    EXPECT_EQ(image.GetNearestIndex(RGBQUAD{200, 200, 200, 0}), 0);  // no palette
    ASSERT_TRUE(image.Create(4, 4, 8));
    EXPECT_EQ(image.GetPalette().size(), 256u);
    EXPECT_EQ(image.GetNearestIndex(RGBQUAD{200, 200, 200, 0}), 200);
    EXPECT_EQ(image.GetNearestIndex(RGBQUAD{0, 0, 250, 0}), 83);  // nearest grey to red 250
    image.SetTransIndex(9);
    image.SetTransColor(RGBQUAD{1, 2, 3, 0});
    EXPECT_EQ(image.GetTransColor().rgbRed, 9);  // with a palette the index counts
    EXPECT_TRUE(image.IncreaseBpp(24));
    EXPECT_EQ(image.GetBpp(), 24u);
    EXPECT_TRUE(image.GetPalette().empty());
    EXPECT_EQ(image.GetTransColor().rgbRed, 9);  // the entry became the transparent colour
    EXPECT_TRUE(image.IncreaseBpp(8));           // never down
    EXPECT_EQ(image.GetBpp(), 24u);
    EXPECT_FALSE(image.Create(4, 4, 7));
    EXPECT_FALSE(image.IsValid());
    EXPECT_FALSE(image.Create(kMaxSide + 1, 1, 24));
    EXPECT_FALSE(image.Create(8192, 8193, 24));  // past the pixel count
    EXPECT_FALSE(image.Encode(nullptr, kFormatPng));
    CxMemFile file;
    file.Open();
    EXPECT_FALSE(image.Encode(&file, kFormatPng));  // invalid image
    PaintTestImage(image, 4, 4);
    EXPECT_FALSE(image.Encode(&file, kFormatGif));  // read-only format
    EXPECT_FALSE(image.Encode(&file, 99));

    // Writes outside the image go nowhere and reads there give zero; alpha reads as opaque.
    image.SetPixelColor(-1, 0, RGBQUAD{1, 1, 1, 1});
    image.SetPixelColor(4, 0, RGBQUAD{1, 1, 1, 1});
    RGBQUAD outside = image.GetPixelColor(0, 4);
    EXPECT_EQ(outside.rgbRed | outside.rgbGreen | outside.rgbBlue | outside.rgbReserved, 0);
    EXPECT_EQ(image.GetPixelColor(0, 0, false).rgbReserved, 0);
    EXPECT_EQ(image.GetPixelColor(0, 0, true).rgbReserved, 255);
}

TEST(CxImage, ResampleKeepsFlatColourAndCarriesAlpha) {
    CxImage image;
    ASSERT_TRUE(image.Create(40, 20, 32));
    for (long y = 0; y < 20; ++y) {
        for (long x = 0; x < 40; ++x) {
            // Left half opaque green, right half transparent red.
            image.SetPixelColor(x, y, x < 20 ? RGBQUAD{0, 200, 0, 255} : RGBQUAD{0, 0, 255, 0},
                                true);
        }
    }
    for (int mode : {1, 2}) {
        CxImage small;
        ASSERT_TRUE(image.Resample(10, 5, mode, &small));
        EXPECT_EQ(small.GetWidth(), 10u);
        EXPECT_EQ(small.GetHeight(), 5u);
        RGBQUAD left = small.GetPixelColor(1, 2), right = small.GetPixelColor(8, 2);
        EXPECT_EQ(left.rgbGreen, 200);
        EXPECT_EQ(left.rgbReserved, 255);
        EXPECT_EQ(right.rgbReserved, 0);
        // Transparent red lends no colour to the pixels next to the edge.
        RGBQUAD edge = small.GetPixelColor(4, 2);
        EXPECT_EQ(edge.rgbRed, 0) << mode;
    }
    EXPECT_TRUE(image.Resample(80, 40));  // in place
    EXPECT_EQ(image.GetWidth(), 80u);
    EXPECT_FALSE(image.Resample(0, 5));
    EXPECT_FALSE(image.Resample(kMaxSide + 1, 5));
}

TEST(CxImage, BitmapsAreTopDownPremultipliedBgra) {
    CxImage image;
    ASSERT_TRUE(image.Create(2, 2, 32));
    image.SetPixelColor(0, 1, RGBQUAD{0, 0, 255, 255}, true);     // top-left: red
    image.SetPixelColor(1, 0, RGBQUAD{200, 100, 50, 128}, true);  // bottom-right: half alpha
    Bitmap bitmap = image.MakeBitmap();
    ASSERT_EQ(bitmap.Width(), 2u);
    const uint8_t* p = bitmap.Pixels();
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[2], 255);
    EXPECT_EQ(p[3], 255);
    const uint8_t* last = p + 3 * 4;
    EXPECT_EQ(last[0], 100);  // 200 × 128 / 255, premultiplied
    EXPECT_EQ(last[3], 128);
    CxImage back;
    ASSERT_TRUE(back.CreateFromBitmap(bitmap));
    EXPECT_TRUE(back.AlphaIsValid());
    RGBQUAD q = back.GetPixelColor(1, 0);
    EXPECT_NEAR(q.rgbBlue, 200, 1);
    EXPECT_NEAR(q.rgbRed, 50, 1);
    EXPECT_EQ(q.rgbReserved, 128);
    EXPECT_FALSE(back.CreateFromBitmap(Bitmap()));
    EXPECT_TRUE(CxImage().MakeBitmap().IsEmpty());
}

namespace {

void AppendPng(png_structp png, png_bytep data, size_t count) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), count);
}

// An Adam7-interlaced PNG of the pixels, written by libpng itself (which aborts on an
// error, as no jump buffer is set).
std::string InterlacedPng(uint32_t width, uint32_t height, int colourType,
                          std::vector<uint8_t>& pixels) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendPng, nullptr);
    png_set_IHDR(png, info, width, height, 8, colourType, PNG_INTERLACE_ADAM7,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    std::vector<png_bytep> rows(height);
    const size_t stride = pixels.size() / height;
    for (uint32_t y = 0; y < height; ++y) {
        rows[y] = pixels.data() + y * stride;
    }
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace

TEST(CxImage, InterlacedPngWithAndWithoutAlpha) {
    const uint32_t width = 13, height = 11;
    for (int channels : {3, 4}) {
        std::vector<uint8_t> pixels(size_t{width} * height * channels);
        for (size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = static_cast<uint8_t>(i * 37 + i / 7);
        }
        std::string png = InterlacedPng(
            width, height, channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, pixels);
        CxImage image = DecodeImageBytes(png);
        ASSERT_TRUE(image.IsValid()) << channels;
        EXPECT_EQ(image.AlphaIsValid(), channels == 4);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* p = pixels.data() + (size_t{y} * width + x) * channels;
                RGBQUAD c = image.GetPixelColor(x, height - 1 - y);
                ASSERT_EQ(c.rgbRed, p[0]);
                ASSERT_EQ(c.rgbGreen, p[1]);
                ASSERT_EQ(c.rgbBlue, p[2]);
                ASSERT_EQ(c.rgbReserved, channels == 4 ? p[3] : 255);
            }
        }
    }
}

namespace {

// A flat JPEG of one CMYK colour, as Adobe applications write it: inverted, with the Adobe
// marker.
std::string CmykJpeg(const uint8_t (&cmyk)[4]) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);  // exits the test program on an error
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = 8;
    info.image_height = 8;
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(8 * 4);
    for (size_t i = 0; i < row.size(); ++i) {
        row[i] = static_cast<uint8_t>(255 - cmyk[i % 4]);
    }
    while (info.next_scanline < 8) {
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string out(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return out;
}

}  // namespace

TEST(CxImage, CmykJpegBecomesRgb) {
    const uint8_t orange[4] = {0, 128, 255, 0};  // C, M, Y, K as ink
    CxImage image = DecodeImageBytes(CmykJpeg(orange));
    ASSERT_TRUE(image.IsValid());
    RGBQUAD c = image.GetPixelColor(4, 4);
    EXPECT_NEAR(c.rgbRed, 255, 3);
    EXPECT_NEAR(c.rgbGreen, 127, 3);
    EXPECT_NEAR(c.rgbBlue, 0, 3);
    const uint8_t grey[4] = {0, 0, 0, 128};
    EXPECT_NEAR(DecodeImageBytes(CmykJpeg(grey)).GetPixelColor(4, 4).rgbGreen, 127, 3);
}
