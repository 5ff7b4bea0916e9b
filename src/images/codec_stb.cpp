// stb_image for BMP and the rarer formats (TGA, PSD, PIC, PNM), and stb_image_resize for
// resampling. Both take their memory from the counted allocator.
#include "images/codecs.h"
#include "images/pixel_memory.h"

#include <algorithm>
#include <climits>
#include <cstring>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_PSD
#define STBI_ONLY_PIC
#define STBI_ONLY_PNM
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#define STBI_MAX_DIMENSIONS 16384
#define STBI_MALLOC(size) qm::images::detail::AllocateCounted(size)
#define STBI_REALLOC(block, size) qm::images::detail::ReallocateCounted(block, size)
#define STBI_FREE(block) qm::images::detail::FreeCounted(block)
#include <stb/stb_image.h>

#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STBIR_MALLOC(size, context) ((void)(context), qm::images::detail::AllocateCounted(size))
#define STBIR_FREE(block, context) ((void)(context), qm::images::detail::FreeCounted(block))
#include <stb/stb_image_resize.h>
#pragma GCC diagnostic pop

namespace qm::images::detail {

namespace {

// Reads the data through stb's callbacks, so that a file that ends before its pixels do is
// noticed: stb itself would take the missing bytes as zeros.
int ReadSource(void* user, char* out, int count) {
    return static_cast<int>(static_cast<ByteSource*>(user)->Read(out, count));
}

void SkipSource(void* user, int count) {
    static_cast<ByteSource*>(user)->Skip(count);
}

int SourceAtEnd(void* user) {
    return static_cast<ByteSource*>(user)->AtEnd();
}

constexpr stbi_io_callbacks kCallbacks = {ReadSource, SkipSource, SourceAtEnd};

// The size and channels of the image, asked of the data in memory. Through callbacks, stb
// rewinds only as far as its 128-byte buffer, so a format test that reads past it (a PIC
// header does) would leave the next test reading from the middle of the data.
bool StbInfo(const uint8_t* data, size_t size, int& width, int& height, int& components) {
    return size <= INT_MAX &&
           stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &components) != 0;
}

// Whether the data can hold that many pixels at all. stb goes on decoding zeros past the end
// of the data, which for a large declared size costs seconds; the most a file can pack is one
// run of 128 pixels in two bytes (TGA and PSD), a run of 65535 in five (PIC), and nothing at
// all for the raw samples of PNM.
bool EnoughData(const uint8_t* data, size_t size, int width, int height, int components) {
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (size >= 2 && data[0] == 'P' && (data[1] == '5' || data[1] == '6')) {
        return pixels * uint64_t(components) <= size;
    }
    if (size >= 4 && std::memcmp(data, "S\x80\xf6\x34", 4) == 0) {
        return pixels <= uint64_t{size} * 13107;
    }
    return pixels <= uint64_t{size} * 64;
}

}  // namespace

// stb reads the numbers of a PNM header into an int without a limit, which overflows; a
// header whose width, height or maximum value has more than five digits is refused first.
bool PnmHeaderIsSound(const uint8_t* data, size_t size) {
    if (size < 2 || data[0] != 'P' || (data[1] != '5' && data[1] != '6')) {
        return true;  // no PNM that stb reads
    }
    auto space = [](uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    size_t at = 2;
    for (int number = 0; number < 3; ++number) {
        for (;;) {
            while (at < size && space(data[at])) {
                ++at;
            }
            if (at >= size || data[at] != '#') {
                break;
            }
            while (at < size && data[at] != '\n' && data[at] != '\r') {
                ++at;
            }
        }
        size_t digits = 0;
        while (at < size && data[at] >= '0' && data[at] <= '9') {
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 5) {
            return false;
        }
    }
    return true;
}

bool RecognisedByStb(const uint8_t* data, size_t size) {
    int width, height, components;
    return PnmHeaderIsSound(data, size) && StbInfo(data, size, width, height, components);
}

bool DecodeOther(const uint8_t* data, size_t size, Raster& out) {
    out = Raster();
    int width, height, components;
    if (!PnmHeaderIsSound(data, size) || !StbInfo(data, size, width, height, components)) {
        return false;
    }
    if (height < 0 && height != INT_MIN) {
        height = -height;  // stb reports a top-down bitmap's height as it is stored
    }
    if (width <= 0 || height <= 0 || !WithinBound(width, height)) {
        return false;
    }
    if (!EnoughData(data, size, width, height, components)) {
        return false;
    }
    // stb reads the samples of a 16-bit PNM in the wrong byte order; such files are refused.
    ByteSource source{data, size};
    if (size > 0 && data[0] == 'P' && stbi_is_16_bit_from_callbacks(&kCallbacks, &source)) {
        return false;
    }
    // stb takes a white matte off a PSD of four or more channels by dividing by the alpha,
    // which for colours darker than the matte leaves the range of a sample: such files are
    // refused rather than decoded into undefined values.
    if (size >= 14 && std::memcmp(data, "8BPS", 4) == 0 && ((data[12] << 8) | data[13]) >= 4) {
        return false;
    }
    // The pixels come in the image's own channels: stb's channel conversion mishandles
    // 16-bit data (it converts 16-bit samples as if they were bytes).
    source = ByteSource{data, size};
    uint8_t* pixels =
        stbi_load_from_callbacks(&kCallbacks, &source, &width, &height, &components, 0);
    if (!pixels) {
        return false;
    }
    if (source.starved || width <= 0 || height <= 0 || !WithinBound(width, height) ||
        components < 1 || components > 4) {
        FreeCounted(pixels);
        return false;
    }
    out.bpp = 24;
    out.width = static_cast<uint32_t>(width);
    out.height = static_cast<uint32_t>(height);
    if (components == 3) {
        out.rgb.reset(pixels);  // stb's buffer comes from the same allocator
        return true;
    }
    const bool alpha = components == 2 || components == 4;
    const size_t count = size_t{out.width} * out.height;
    out.rgb.reset(static_cast<uint8_t*>(AllocateCounted(count * 3)));
    bool ok = out.rgb && (!alpha || out.AllocateAlpha(255));
    for (size_t i = 0; ok && i < count; ++i) {
        const uint8_t* p = pixels + i * components;
        uint8_t* rgb = out.rgb.get() + i * 3;
        if (components <= 2) {
            rgb[0] = rgb[1] = rgb[2] = p[0];  // grey
        } else {
            std::memcpy(rgb, p, 3);
        }
        if (alpha) {
            out.alpha[i] = p[components - 1];
        }
    }
    if (!ok) {
        out = Raster();
    }
    FreeCounted(pixels);
    return ok;
}

bool ResampleRaster(const Raster& source, uint32_t width, uint32_t height, int mode, Raster& out) {
    out = Raster();
    if (!source.rgb || !WithinBound(width, height)) {
        return false;
    }
    const stbir_filter filter = mode == 2 ? STBIR_FILTER_CATMULLROM : STBIR_FILTER_TRIANGLE;
    const bool alpha = source.alpha != nullptr;
    const int channels = alpha ? 4 : 3;
    // With alpha, colour and alpha are resampled together as one RGBA image, so that
    // transparent pixels lend no colour to their neighbours.
    PixelBuffer input;
    PixelBuffer output(static_cast<uint8_t*>(AllocateCounted(size_t{width} * height * channels)));
    if (!output) {
        return false;
    }
    const uint8_t* in = source.rgb.get();
    if (alpha) {
        size_t count = size_t{source.width} * source.height;
        input.reset(static_cast<uint8_t*>(AllocateCounted(count * 4)));
        if (!input) {
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            std::memcpy(input.get() + i * 4, source.rgb.get() + i * 3, 3);
            input[i * 4 + 3] = source.alpha[i];
        }
        in = input.get();
    }
    if (!stbir_resize_uint8_generic(in, static_cast<int>(source.width),
                                    static_cast<int>(source.height), 0, output.get(),
                                    static_cast<int>(width), static_cast<int>(height), 0, channels,
                                    alpha ? 3 : STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP,
                                    filter, STBIR_COLORSPACE_LINEAR, nullptr)) {
        return false;
    }
    input.reset();
    if (!alpha) {
        out.rgb = std::move(output);
        out.width = width;
        out.height = height;
        return true;
    }
    if (!out.Allocate(width, height, true)) {
        return false;
    }
    size_t count = size_t{width} * height;
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(out.rgb.get() + i * 3, output.get() + i * 4, 3);
        out.alpha[i] = output[i * 4 + 3];
    }
    return true;
}

}  // namespace qm::images::detail
