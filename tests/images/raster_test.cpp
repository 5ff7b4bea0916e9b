#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/raster.h>

#include "common/image_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

using namespace qm::images;

namespace {

bool IsWhite(RGBQUAD c) {
    return c.rgbRed == 255 && c.rgbGreen == 255 && c.rgbBlue == 255;
}
bool Same(RGBQUAD a, RGBQUAD b) {
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}
// The pixel at (x, y) with rows counted from the top, through the bottom-up accessor.
RGBQUAD TopPixel(const CxImage& image, long x, long y) {
    return image.GetPixelColor(x, static_cast<long>(image.GetHeight()) - 1 - y, false);
}

}  // namespace

TEST(Raster, WhiteCanvasHasTheSizeAndStaysWithinTheBound) {
    CxImage canvas;
    ASSERT_TRUE(CreateWhiteCanvas(canvas, 7, 3));
    EXPECT_EQ(canvas.GetWidth(), 7u);
    EXPECT_EQ(canvas.GetHeight(), 3u);
    EXPECT_EQ(canvas.GetBpp(), 24u);
    for (long y = 0; y < 3; ++y) {
        for (long x = 0; x < 7; ++x) {
            EXPECT_TRUE(IsWhite(TopPixel(canvas, x, y)));
        }
    }
    for (auto [w, h] : {std::pair<int64_t, int64_t>{0, 5},
                        {5, 0},
                        {-3, 5},
                        {1000000000, 1},
                        {kMaxSide + 1, 1},
                        {8192, 8193},
                        {INT64_MAX, INT64_MAX}}) {
        EXPECT_FALSE(CreateWhiteCanvas(canvas, w, h)) << w << "x" << h;
        EXPECT_FALSE(canvas.IsValid());
    }
}

// Every offset from missing the canvas on one side to missing it on the other.
TEST(Raster, DrawImageCopiesAndClipsAtEveryEdge) {
    CxImage image;
    PaintTestImage(image, 5, 4);
    for (int64_t y = -5; y <= 7; ++y) {
        for (int64_t x = -6; x <= 9; ++x) {
            CxImage canvas;
            ASSERT_TRUE(CreateWhiteCanvas(canvas, 9, 7));
            DrawImage(canvas, image, x, y);
            for (long cy = 0; cy < 7; ++cy) {
                for (long cx = 0; cx < 9; ++cx) {
                    long ix = cx - static_cast<long>(x), iy = cy - static_cast<long>(y);
                    bool inside = ix >= 0 && iy >= 0 && ix < 5 && iy < 4;
                    RGBQUAD got = TopPixel(canvas, cx, cy);
                    EXPECT_TRUE(inside ? Same(got, TopPixel(image, ix, iy)) : IsWhite(got))
                        << "offset " << x << "," << y << " pixel " << cx << "," << cy;
                }
            }
        }
    }
}

TEST(Raster, DrawImageAtExtremeOffsetsLeavesTheCanvasWhite) {
    CxImage image, canvas;
    PaintTestImage(image, 5, 4);
    ASSERT_TRUE(CreateWhiteCanvas(canvas, 3, 3));
    for (int64_t offset : {INT64_MIN, INT64_MIN + 1, int64_t{-1000000000000}, INT64_MAX}) {
        DrawImage(canvas, image, offset, 0);
        DrawImage(canvas, image, 0, offset);
    }
    for (long y = 0; y < 3; ++y) {
        for (long x = 0; x < 3; ++x) {
            EXPECT_TRUE(IsWhite(TopPixel(canvas, x, y)));
        }
    }
    EXPECT_EQ(canvas.TopRow(-1), nullptr);
    EXPECT_EQ(canvas.TopRow(3), nullptr);
    DrawImage(canvas, CxImage(), 0, 0);  // an invalid image draws nothing
    EXPECT_TRUE(IsWhite(TopPixel(canvas, 0, 0)));
}

TEST(Raster, CopyAreaCropsAndLeavesWhiteWhatFallsOutside) {
    CxImage image, area;
    PaintTestImage(image, 6, 5);
    ASSERT_TRUE(CopyArea(image, 2, 1, 3, 2, area));
    ASSERT_EQ(area.GetWidth(), 3u);
    ASSERT_EQ(area.GetHeight(), 2u);
    for (long y = 0; y < 2; ++y) {
        for (long x = 0; x < 3; ++x) {
            EXPECT_TRUE(Same(TopPixel(area, x, y), TopPixel(image, x + 2, y + 1)));
        }
    }
    ASSERT_TRUE(CopyArea(image, 4, -1, 4, 2, area));
    EXPECT_TRUE(IsWhite(TopPixel(area, 0, 0)));  // above the image
    EXPECT_TRUE(Same(TopPixel(area, 1, 1), TopPixel(image, 5, 0)));
    EXPECT_TRUE(IsWhite(TopPixel(area, 2, 1)));  // right of it
    ASSERT_TRUE(CopyArea(image, INT64_MIN, INT64_MIN, 2, 2, area));
    EXPECT_TRUE(IsWhite(TopPixel(area, 1, 1)));
    EXPECT_FALSE(CopyArea(image, 0, 0, 0, 3, area));
    EXPECT_FALSE(CopyArea(image, 0, 0, 100000, 100000, area));
}

TEST(Raster, ThresholdSplitsAtTheLuminanceLevel) {
    CxImage image;
    ASSERT_TRUE(image.Create(6, 1, 24));
    image.AlphaCreate();
    const RGBQUAD colours[] = {
        {127, 127, 127, 10},  // luminance 127: not above the level
        {128, 128, 128, 20},  // 128: above
        {0, 255, 0, 30},      // pure green, 149.7
        {0, 0, 255, 40},      // pure red, 76.2
        {255, 0, 0, 50},      // pure blue, 29.1
        {0, 0, 0, 60},
    };
    for (long x = 0; x < 6; ++x) {
        image.SetPixelColor(x, 0, colours[x], true);
    }
    ASSERT_TRUE(image.Threshold(127));
    const uint8_t expected[] = {0, 255, 255, 0, 0, 0};
    for (long x = 0; x < 6; ++x) {
        RGBQUAD c = image.GetPixelColor(x, 0);
        EXPECT_EQ(c.rgbRed, expected[x]) << x;
        EXPECT_EQ(c.rgbGreen, expected[x]) << x;
        EXPECT_EQ(c.rgbBlue, expected[x]) << x;
        EXPECT_EQ(c.rgbReserved, colours[x].rgbReserved) << "alpha is kept";
    }
    EXPECT_EQ(image.GetBpp(), 24u);
    ASSERT_TRUE(image.Threshold(-5000));
    EXPECT_EQ(image.GetPixelColor(5, 0).rgbRed, 255);  // black is above a negative level
    ASSERT_TRUE(image.Threshold(LONG_MAX));
    EXPECT_EQ(image.GetPixelColor(1, 0).rgbRed, 0);  // white is not above 255
    EXPECT_FALSE(CxImage().Threshold(127));
}
