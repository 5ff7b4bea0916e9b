// The scanline flood fill against a naive fill that queues all four neighbours of every
// filled pixel and tests each with a square root, in megapixels of page per second, on three
// pages at full HD and at 4K: one region that fills the page, a noisy region at tolerance 30,
// and a maze of corridors one pixel wide. Both fills must give the same mask, or the
// benchmark stops.
#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/flood_fill.h>

#include "images/flood_pictures.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <deque>
#include <map>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using namespace qm::images;
using namespace flood_pictures;

enum Case { kWholePage, kNoisy, kMaze };

struct Page {
    CxImage image;
    PixelPoint seed;
    double tolerance;
};

const Page& GetPage(Case which, long width, long height) {
    static std::map<std::tuple<int, long, long>, Page> pages;
    Page& page = pages[{which, width, height}];
    if (page.image.IsValid()) {
        return page;
    }
    std::mt19937 random(7);
    switch (which) {
        case kWholePage:
            CreateWhiteCanvas(page.image, width, height);
            page.seed = PixelPoint{width / 2, height / 2};
            page.tolerance = 0.0;
            break;
        case kNoisy:
            // Grey with ±10 on each channel and a few flat panels of other colours.
            page.image = FewColours(random, width, height, 10);
            page.seed = PixelPoint{width / 2, height / 2};
            page.tolerance = 30.0;
            break;
        case kMaze:
            page.image = Maze(random, width | 1, height | 1);
            page.seed = PixelPoint{1, 1};
            page.tolerance = 0.0;
            break;
    }
    return page;
}

// The naive fill: a first-in, first-out queue; every filled pixel queues its four neighbours,
// and each is tested, bounds, visited and colour by square root, when it is taken.
std::vector<uint8_t> NaiveFill(const CxImage& image, PixelPoint seed, double tolerance) {
    const long width = image.GetWidth(), height = image.GetHeight();
    std::vector<uint8_t> filled(size_t(width * height), 0);
    const uint8_t* s = image.TopRow(seed.y) + seed.x * 3;
    const int red = s[0], green = s[1], blue = s[2];
    std::deque<std::pair<int32_t, int32_t>> queue{{int32_t(seed.x), int32_t(seed.y)}};
    while (!queue.empty()) {
        auto [x, y] = queue.front();
        queue.pop_front();
        if (x < 0 || y < 0 || x >= width || y >= height || filled[size_t(y * width + x)]) {
            continue;
        }
        const uint8_t* p = image.TopRow(y) + x * 3;
        int dr = p[0] - red, dg = p[1] - green, db = p[2] - blue;
        if (!(std::sqrt(double(dr * dr + dg * dg + db * db)) <= tolerance)) {
            continue;
        }
        filled[size_t(y * width + x)] = 1;
        queue.push_back({x + 1, y});
        queue.push_back({x - 1, y});
        queue.push_back({x, y + 1});
        queue.push_back({x, y - 1});
    }
    return filled;
}

void Report(benchmark::State& state, const Page& page, const std::vector<uint8_t>& filled) {
    const double pixels = double(page.image.GetWidth()) * page.image.GetHeight();
    state.counters["Mpx/s"] =
        benchmark::Counter(double(state.iterations()) * pixels / 1e6, benchmark::Counter::kIsRate);
    state.counters["filled%"] =
        100.0 * double(std::count(filled.begin(), filled.end(), 1)) / pixels;
}

bool SameMasks(const Page& page) {
    return FloodFill(page.image, page.seed, page.tolerance).filled ==
           NaiveFill(page.image, page.seed, page.tolerance);
}

void BM_Scanline(benchmark::State& state) {
    const Page& page = GetPage(Case(state.range(0)), state.range(1), state.range(2));
    if (!SameMasks(page)) {
        state.SkipWithError("the fills disagree");
        return;
    }
    FloodRegion region;
    for (auto _ : state) {
        region = FloodFill(page.image, page.seed, page.tolerance);
        benchmark::DoNotOptimize(region.filled.data());
    }
    Report(state, page, region.filled);
}

void BM_Naive(benchmark::State& state) {
    const Page& page = GetPage(Case(state.range(0)), state.range(1), state.range(2));
    if (!SameMasks(page)) {
        state.SkipWithError("the fills disagree");
        return;
    }
    std::vector<uint8_t> filled;
    for (auto _ : state) {
        filled = NaiveFill(page.image, page.seed, page.tolerance);
        benchmark::DoNotOptimize(filled.data());
    }
    Report(state, page, filled);
}

void Pages(benchmark::internal::Benchmark* b) {
    b->ArgNames({"case", "width", "height"});
    for (int which : {kWholePage, kNoisy, kMaze}) {
        b->Args({which, 1920, 1080});
        b->Args({which, 3840, 2160});
    }
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Scanline)->Apply(Pages);
BENCHMARK(BM_Naive)->Apply(Pages);

}  // namespace

BENCHMARK_MAIN();
