// PNG encoding of a generated 1920 × 1080 screen (flat panels, lines, strokes like text, a
// gradient and a noisy inset) through CxImage::Encode(…, 3) and, on the same pixels, through
// stbi_write_png_to_func; and Image2XMLFile of the same screen. Both PNGs must decode to the
// same pixels, or the benchmark stops.
#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/image_xml.h>
#include <qmsupport/setup/tarvio_setup.h>

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

constexpr uint32_t kWidth = 1920, kHeight = 1080;

void Fill(CxImage& image, uint32_t x0, uint32_t y0, uint32_t w, uint32_t h, RGBQUAD c) {
    for (uint32_t y = y0; y < y0 + h && y < kHeight; ++y) {
        for (uint32_t x = x0; x < x0 + w && x < kWidth; ++x) {
            image.SetPixelColor(x, kHeight - 1 - y, c);  // y counted from the top here
        }
    }
}

CxImage& Screen() {
    static CxImage image = [] {
        CxImage s;
        s.Create(kWidth, kHeight, 24);
        Fill(s, 0, 0, kWidth, kHeight, RGBQUAD{235, 235, 235, 255});     // background
        Fill(s, 0, 0, kWidth, 40, RGBQUAD{120, 60, 30, 255});            // title bar
        Fill(s, 0, 40, 260, kHeight - 40, RGBQUAD{250, 250, 250, 255});  // side panel
        for (uint32_t y = 60; y < kHeight; y += 24) {                    // lines of "text"
            for (uint32_t x = 280; x < 1500; x += 9) {
                uint32_t seed = x * 7919 + y * 104729;
                if (seed % 11 < 8) {
                    Fill(s, x, y, 2 + seed % 3, 8 + seed % 5, RGBQUAD{40, 40, 40, 255});
                }
            }
            Fill(s, 260, y + 20, kWidth - 260, 1, RGBQUAD{200, 200, 200, 255});  // rules
        }
        for (uint32_t y = 100; y < 500; ++y) {  // gradient chart
            for (uint32_t x = 1540; x < 1880; ++x) {
                s.SetPixelColor(x, kHeight - 1 - y,
                                RGBQUAD{static_cast<uint8_t>((x - 1540) * 255 / 340),
                                        static_cast<uint8_t>(y / 2),
                                        static_cast<uint8_t>(255 - (x - 1540) * 255 / 680), 255});
            }
        }
        uint32_t noise = 1;
        for (uint32_t y = 600; y < 900; ++y) {  // a photo-like inset
            for (uint32_t x = 1540; x < 1880; ++x) {
                noise = noise * 1103515245 + 12345;
                uint8_t n = static_cast<uint8_t>(noise >> 24);
                s.SetPixelColor(
                    x, kHeight - 1 - y,
                    RGBQUAD{static_cast<uint8_t>(n / 2 + 60), static_cast<uint8_t>(n / 3 + 90),
                            static_cast<uint8_t>(n / 4 + 120), 255});
            }
        }
        return s;
    }();
    return image;
}

// The screen's pixels as stb_image_write takes them: RGB, rows from the top.
const std::vector<uint8_t>& ScreenRgb() {
    static std::vector<uint8_t> rgb = [] {
        std::vector<uint8_t> out(size_t{kWidth} * kHeight * 3);
        for (uint32_t y = 0; y < kHeight; ++y) {
            for (uint32_t x = 0; x < kWidth; ++x) {
                RGBQUAD c = Screen().GetPixelColor(x, kHeight - 1 - y);
                uint8_t* p = out.data() + (size_t{y} * kWidth + x) * 3;
                p[0] = c.rgbRed;
                p[1] = c.rgbGreen;
                p[2] = c.rgbBlue;
            }
        }
        return out;
    }();
    return rgb;
}

std::string EncodeOurs() {
    CxMemFile file;
    if (!file.Open() || !Screen().Encode(&file, qm::images::kFormatPng)) {
        std::abort();
    }
    return std::string(reinterpret_cast<const char*>(file.GetBuffer(false)),
                       static_cast<size_t>(file.Size()));
}

void AppendStb(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<size_t>(size));
}

std::string EncodeStb() {
    std::string out;
    if (!stbi_write_png_to_func(AppendStb, &out, kWidth, kHeight, 3, ScreenRgb().data(),
                                kWidth * 3)) {
        std::abort();
    }
    return out;
}

// Both files decode to the screen's pixels; the first run also leaves ours in the
// current directory as bench_images_screen.png, for a look.
void CheckSamePixels() {
    static bool checked = [] {
        std::string ours = EncodeOurs(), theirs = EncodeStb();
        CxImage a(reinterpret_cast<const uint8_t*>(ours.data()), ours.size(), 0);
        CxImage b(reinterpret_cast<const uint8_t*>(theirs.data()), theirs.size(), 0);
        for (uint32_t y = 0; y < kHeight; ++y) {
            for (uint32_t x = 0; x < kWidth; ++x) {
                RGBQUAD p = a.GetPixelColor(x, y), q = b.GetPixelColor(x, y),
                        r = Screen().GetPixelColor(x, y);
                if (std::memcmp(&p, &q, sizeof p) != 0 || std::memcmp(&p, &r, sizeof p) != 0) {
                    std::fprintf(stderr, "decoded pixels differ at %u,%u\n", x, y);
                    std::abort();
                }
            }
        }
        if (FILE* f = std::fopen("bench_images_screen.png", "wb")) {
            std::fwrite(ours.data(), 1, ours.size(), f);
            std::fclose(f);
        }
        return true;
    }();
    (void)checked;
}

void BM_PngEncodeCxImage(benchmark::State& state) {
    CheckSamePixels();
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = EncodeOurs().size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_PngEncodeCxImage)->Unit(benchmark::kMillisecond);

void BM_PngEncodeStbWrite(benchmark::State& state) {
    CheckSamePixels();
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = EncodeStb().size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_PngEncodeStbWrite)->Unit(benchmark::kMillisecond);

void BM_Image2XMLFile(benchmark::State& state) {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("qm_bench_images_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    QMTarvioSetup setup;
    std::string native = dir.string() + "/";
    setup.SetImagesPath(QMWideString(std::wstring(native.begin(), native.end())));
    for (auto _ : state) {
        if (!Image2XMLFile(L"screen", &Screen())) {
            std::abort();
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_Image2XMLFile)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
