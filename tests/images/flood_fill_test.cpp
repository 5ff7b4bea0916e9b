#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/flood_fill.h>
#include <qmsupport/images/raster.h>

#include "images/flood_pictures.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

using namespace qm::images;
using namespace flood_pictures;

namespace {

// The reference: a plain fill of the pixels four-connected to the seed whose colour lies within
// the tolerance of the seed's, the square root taken in every test, one pixel at a time.
struct LiteralFill {
    bool inside = false;
    std::vector<uint8_t> mask;
    long left = 0, top = 0, right = 0, bottom = 0;
};

double Distance(const Rgb& a, const Rgb& b) {
    double sum = 0;
    for (int c = 0; c < 3; ++c) {
        double d = double(a[c]) - double(b[c]);
        sum += d * d;
    }
    return std::sqrt(sum);
}

LiteralFill FillLiterally(const CxImage& image, long seedX, long seedY, double tolerance) {
    LiteralFill out{false, {}, seedX, seedY, seedX, seedY};
    const long width = image.GetWidth(), height = image.GetHeight();
    if (seedX < 0 || seedY < 0 || seedX >= width || seedY >= height) {
        return out;
    }
    out.inside = true;
    out.mask.assign(size_t(width * height), 0);
    // Rows from the top, read through the bottom-up accessor.
    auto colour = [&](long x, long y) {
        RGBQUAD c = image.GetPixelColor(x, height - 1 - y, false);
        return Rgb{c.rgbRed, c.rgbGreen, c.rgbBlue};
    };
    const Rgb seed = colour(seedX, seedY);
    std::vector<std::pair<long, long>> stack{{seedX, seedY}};
    while (!stack.empty()) {
        auto [x, y] = stack.back();
        stack.pop_back();
        if (x < 0 || y < 0 || x >= width || y >= height || out.mask[size_t(y * width + x)] ||
            !(Distance(colour(x, y), seed) <= tolerance)) {
            continue;
        }
        out.mask[size_t(y * width + x)] = 1;
        out.left = std::min(out.left, x);
        out.right = std::max(out.right, x);
        out.top = std::min(out.top, y);
        out.bottom = std::max(out.bottom, y);
        stack.insert(stack.end(), {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}});
    }
    return out;
}

void ExpectSameAsLiteral(const CxImage& image, long x, long y, double tolerance) {
    LiteralFill expected = FillLiterally(image, x, y, tolerance);
    FloodRegion got = FloodFill(image, PixelPoint{x, y}, tolerance);
    SCOPED_TRACE(::testing::Message() << "seed " << x << "," << y << " tolerance " << tolerance);
    ASSERT_EQ(got.seedInside, expected.inside);
    EXPECT_EQ(got.left, expected.left);
    EXPECT_EQ(got.top, expected.top);
    EXPECT_EQ(got.right, expected.right);
    EXPECT_EQ(got.bottom, expected.bottom);
    EXPECT_TRUE(got.filled == expected.mask);
}

// Tolerances that hit the edges: zero, square roots of integers exactly and just below them,
// NaN, negative, everything, and random values.
double RandomTolerance(std::mt19937& random) {
    const double root = std::sqrt(double(random() % 500));
    const double edges[] = {0.0,
                            root,
                            std::nextafter(root, 0.0),
                            std::numeric_limits<double>::quiet_NaN(),
                            -1.0,
                            -0.0,
                            442.0,
                            1e9};
    return random() % 2 ? edges[random() % 8] : std::uniform_real_distribution(0.0, 80.0)(random);
}

}  // namespace

TEST(FloodFill, MatchesTheLiteralFillOnRandomImagesAndTolerances) {
    std::mt19937 random(1234);
    for (int round = 0; round < 120; ++round) {
        // Wide enough for runs over several words of 64 pixels, and whole words at the edge.
        long width = round % 7 ? 1 + long(random() % 150) : 64 * (1 + round % 3),
             height = 1 + long(random() % 30);
        const int kind = round % 5;
        CxImage image = kind == 0   ? FewColours(random, width, height, 0)
                        : kind == 1 ? FewColours(random, width, height, 12)
                        : kind == 2 ? Checkerboard(width, height, 1 + long(random() % 3))
                        : kind == 3
                            ? Spiral(width, height, Rgb{10, 10, 10}, Rgb{250, 250, 250})
                            : Maze(random, std::max(3L, width | 1), std::max(3L, height | 1));
        for (int seed = 0; seed < 6; ++seed) {
            long x = long(random() % (image.GetWidth() + 2)) - 1;
            long y = long(random() % (image.GetHeight() + 2)) - 1;
            ExpectSameAsLiteral(image, x, y, RandomTolerance(random));
        }
    }
}

TEST(FloodFill, SquaredDistanceLimitIsTheLargestIntegerWithinTheTolerance) {
    const double infinity = std::numeric_limits<double>::infinity();
    for (auto [tolerance, limit] : {std::pair{0.0, 0L},
                                    {std::sqrt(50.0), 50L},
                                    {std::nextafter(std::sqrt(50.0), 0.0), 49L},
                                    {30.0, 900L},
                                    {441.6, 195010L},
                                    {441.7, 195075L},
                                    {1e300, 195075L},
                                    {infinity, 195075L},
                                    {-1.0, -1L},
                                    {-infinity, -1L},
                                    {std::numeric_limits<double>::quiet_NaN(), -1L}}) {
        EXPECT_EQ(SquaredDistanceLimit(tolerance), limit) << tolerance;
    }
}

// NaN, negative and huge tolerances and seeds just outside are the oracle's; these are seeds
// far outside and an image that is not there.
TEST(FloodFill, SeedsFarOutsideFillNothing) {
    CxImage image = Checkerboard(16, 8, 1);
    for (PixelPoint outside : {PixelPoint{std::numeric_limits<long>::min(), 0},
                               PixelPoint{0, std::numeric_limits<long>::max()}}) {
        FloodRegion region = FloodFill(image, outside, 10.0);
        EXPECT_FALSE(region.seedInside);
        EXPECT_TRUE(region.filled.empty());
        EXPECT_EQ(region.left, outside.x);
        EXPECT_EQ(region.top, outside.y);
    }
    EXPECT_FALSE(FloodFill(CxImage(), PixelPoint{0, 0}, 10.0).seedInside);
}

namespace {

struct SpiralJob {
    const CxImage* image;
    FloodRegion region;
};

void* FillSpiral(void* argument) {
    auto* job = static_cast<SpiralJob*>(argument);
    job->region = FloodFill(*job->image, PixelPoint{1, 1}, 0.0);
    return nullptr;
}

}  // namespace

// A fill that recursed, or kept its pending points on the call stack, would overflow a
// 64 KiB stack on this corridor of some four million pixels.
TEST(FloodFill, SpiralOverAFourKCanvasOnASmallStack) {
    long corridor = 0;
    CxImage image = Spiral(3840, 2160, Rgb{0, 0, 0}, Rgb{255, 255, 255}, &corridor);
    SpiralJob job{&image, {}};
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 64 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, FillSpiral, &job), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attributes);
    EXPECT_EQ(std::count(job.region.filled.begin(), job.region.filled.end(), 1), corridor);
    EXPECT_EQ(job.region.left, 1);
    EXPECT_EQ(job.region.top, 1);
    EXPECT_EQ(job.region.right, 3838);
    EXPECT_EQ(job.region.bottom, 2158);
}
