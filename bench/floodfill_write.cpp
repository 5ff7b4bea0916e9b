// One floodfill written on a full-HD page whose background is already rendered: the whole
// Write, and its steps alone on the same region (the fill, the crop of the mask to the box,
// the PNG encoding and the base64 text), to show where the time goes.
#include <qmsupport/images/cx_file.h>
#include <qmsupport/images/flood_fill.h>
#include <qmsupport/images/raster.h>
#include <qmsupport/toolsapi/codecs.h>

#include "legacy/scada_report_controls.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

using Migration = QMTransformScadaReportTo25;
constexpr long kWidth = 1920, kHeight = 1080;
constexpr double kPixelsPerMm = 96.0 / 25.4;
// The seed, inside the tank.
constexpr long kSeedX = 600, kSeedY = 500;

// A page with a tank: a dark outline round a light interior of 1200 by 700 pixels, split by
// a gauge line, next to a pipe and a few panels.
std::unique_ptr<CxImage> Page() {
    auto page = std::make_unique<CxImage>();
    qm::images::CreateWhiteCanvas(*page, kWidth, kHeight);
    auto fill = [&](long x0, long y0, long x1, long y1, uint8_t r, uint8_t g, uint8_t b) {
        for (long y = y0; y < y1; ++y) {
            for (long x = x0; x < x1; ++x) {
                uint8_t* p = page->TopRow(y) + x * 3;
                p[0] = r;
                p[1] = g;
                p[2] = b;
            }
        }
    };
    fill(96, 146, 1304, 854, 40, 40, 40);
    fill(100, 150, 1300, 850, 170, 200, 235);
    fill(100, 300, 900, 303, 40, 40, 40);
    fill(1304, 480, 1800, 520, 230, 180, 90);
    for (long i = 0; i < 8; ++i) {
        fill(1400 + i * 60, 100, 1440 + i * 60, 300, 90, 160, 90);
    }
    return page;
}

PageContext Context() {
    PageContext context;
    context.pixelsPerMmX = context.pixelsPerMmY = kPixelsPerMm;
    context.pageWidthPx = kWidth;
    context.pageHeightPx = kHeight;
    context.background = Page();
    return context;
}

void BM_FloodfillWrite(benchmark::State& state) {
    PageContext context = Context();
    XmlDocument source;
    const std::string element = "<floodfill hotX='" + std::to_string(kSeedX / kPixelsPerMm) +
                                "' hotY='" + std::to_string(kSeedY / kPixelsPerMm) + "'/>";
    if (!source.Parse(element.c_str())) {
        state.SkipWithError("the floodfill element does not parse");
        return;
    }
    Migration::QMControlFloodfill floodfill(1);
    floodfill.Read(&source.Root());
    for (auto _ : state) {
        XmlDocument page;
        (void)page.Create(L"page");  // a literal tag; the check below sees any failure
        floodfill.Write(&page.Root(), &context);
        if (page.Root().Node(L"floodFill/image") == nullptr) {
            state.SkipWithError("no mask written");
            return;
        }
    }
}

void BM_Fill(benchmark::State& state) {
    const PageContext context = Context();
    for (auto _ : state) {
        qm::images::FloodRegion region =
            qm::images::FloodFill(*context.background, {kSeedX, kSeedY}, 0.0);
        benchmark::DoNotOptimize(region.filled.data());
    }
}

qm::images::FloodRegion Region() {
    return qm::images::FloodFill(*Context().background, {kSeedX, kSeedY}, 0.0);
}

CxImage Crop(const qm::images::FloodRegion& region) {
    CxImage full, mask;
    region.DrawMask(full);
    qm::images::CopyArea(full, region.left, region.top, region.right - region.left,
                         region.bottom - region.top, mask);
    return mask;
}

void BM_Crop(benchmark::State& state) {
    const qm::images::FloodRegion region = Region();
    for (auto _ : state) {
        CxImage mask = Crop(region);
        benchmark::DoNotOptimize(mask.TopRow(0));
    }
}

void BM_Png(benchmark::State& state) {
    CxImage mask = Crop(Region());
    mask.AlphaCreate();
    mask.SetTransIndex(0);
    mask.SetTransColor(RGBQUAD{255, 255, 255, 0});
    for (auto _ : state) {
        CxMemFile file;
        file.Open();
        mask.Encode(&file, qm::images::kFormatPng);
        benchmark::DoNotOptimize(file.GetBuffer(false));
    }
}

void BM_Base64(benchmark::State& state) {
    CxImage mask = Crop(Region());
    mask.AlphaCreate();
    mask.SetTransIndex(0);
    CxMemFile file;
    file.Open();
    mask.Encode(&file, qm::images::kFormatPng);
    state.counters["png_bytes"] = static_cast<double>(file.Size());
    for (auto _ : state) {
        QMWideString text;
        EncodeBase64(text, file.GetBuffer(false), static_cast<size_t>(file.Size()));
        benchmark::DoNotOptimize(text.c_str());
    }
}

BENCHMARK(BM_FloodfillWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fill)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
