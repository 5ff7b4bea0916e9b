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
struct Source {
    const uint8_t* data;
    size_t size;
    size_t position;
    bool starved;
};

int ReadSource(void* user, char* out, int count) {
    auto* source = static_cast<Source*>(user);
    size_t n = std::min(static_cast<size_t>(std::max(count, 0)), source->size - source->position);
    if (n == 0 && count > 0) {
        source->starved = true;
    }
    std::memcpy(out, source->data + source->position, n);
    source->position += n;
    return static_cast<int>(n);
}

void SkipSource(void* user, int count) {
    auto* source = static_cast<Source*>(user);
    if (count < 0) {
        source->position -= std::min(source->position, static_cast<size_t>(-(int64_t)count));
    } else if (static_cast<size_t>(count) > source->size - source->position) {
        source->starved = true;
        source->position = source->size;
    } else {
        source->position += static_cast<size_t>(count);
    }
}

int SourceAtEnd(void* user) {
    auto* source = static_cast<Source*>(user);
    return source->position >= source->size;
}

constexpr stbi_io_callbacks kCallbacks = {ReadSource, SkipSource, SourceAtEnd};

}  // namespace

bool RecognisedByStb(const uint8_t* data, size_t size) {
    int width, height, components;
    Source source{data, size, 0, false};
    return stbi_info_from_callbacks(&kCallbacks, &source, &width, &height, &components);
}

bool DecodeOther(const uint8_t* data, size_t size, Raster& out) {
    out = Raster();
    int width, height, components;
    Source source{data, size, 0, false};
    if (!stbi_info_from_callbacks(&kCallbacks, &source, &width, &height, &components)) {
        return false;
    }
    if (height < 0 && height != INT_MIN) {
        height = -height;  // stb reports a top-down bitmap's height as it is stored
    }
    if (width <= 0 || height <= 0 || !WithinBound(width, height)) {
        return false;
    }
    const int wanted = components == 2 || components == 4 ? 4 : 3;
    source = Source{data, size, 0, false};
    uint8_t* pixels =
        stbi_load_from_callbacks(&kCallbacks, &source, &width, &height, &components, wanted);
    if (!pixels) {
        return false;
    }
    if (source.starved || width <= 0 || height <= 0 || !WithinBound(width, height)) {
        FreeCounted(pixels);
        return false;
    }
    out.bpp = 24;
    out.width = static_cast<uint32_t>(width);
    out.height = static_cast<uint32_t>(height);
    if (wanted == 3) {
        out.rgb.reset(pixels);  // stb's buffer comes from the same allocator
        return true;
    }
    out.rgb.reset(static_cast<uint8_t*>(AllocateCounted(size_t{out.width} * out.height * 3)));
    bool ok = out.rgb && out.AllocateAlpha(255);
    if (ok) {
        size_t count = size_t{out.width} * out.height;
        for (size_t i = 0; i < count; ++i) {
            std::memcpy(out.rgb.get() + i * 3, pixels + i * 4, 3);
            out.alpha[i] = pixels[i * 4 + 3];
        }
    } else {
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
