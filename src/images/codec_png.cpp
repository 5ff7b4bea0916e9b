// PNG through libpng. The functions that call setjmp hold no C++ object with a destructor,
// and everything they keep lives in a job record that outlives the jump.
#include "images/codecs.h"
#include "images/pixel_memory.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace qm::images::detail {
namespace {

// The largest chunk libpng may allocate while decoding (text, ICC profile, ...), and the most
// ancillary chunks it keeps.
constexpr png_alloc_size_t kChunkMax = 8u << 20;
constexpr png_uint_32 kChunkCacheMax = 128;

void PngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

struct ReadJob {
    const uint8_t* data;
    size_t size;
    size_t position;
    Raster* out;
    png_structp png;
    png_infop info;
    png_bytep* rows;
    uint8_t* rgba;  // decoded RGBA rows when the image has alpha
    bool hasAlpha;
};

void ReadBytes(png_structp png, png_bytep out, size_t count) {
    auto* job = static_cast<ReadJob*>(png_get_io_ptr(png));
    if (count > job->size - job->position) {
        png_error(png, "truncated");
    }
    std::memcpy(out, job->data + job->position, count);
    job->position += count;
}

void SplitRgba(const uint8_t* rgba, size_t count, uint8_t* rgb, uint8_t* alpha) {
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(rgb + i * 3, rgba + i * 4, 3);
        alpha[i] = rgba[i * 4 + 3];
    }
}

// Reads the header, checks the bound, then reads every row; false on any error.
bool ReadRows(ReadJob* job) {
    if (setjmp(png_jmpbuf(job->png))) {
        return false;
    }
    png_set_user_limits(job->png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(job->png, kChunkMax);
    png_set_chunk_cache_max(job->png, kChunkCacheMax);
    png_set_read_fn(job->png, job, ReadBytes);
    png_read_info(job->png, job->info);
    png_uint_32 width = png_get_image_width(job->png, job->info);
    png_uint_32 height = png_get_image_height(job->png, job->info);
    if (!WithinBound(width, height)) {
        return false;
    }
    int colourType = png_get_color_type(job->png, job->info);
    int depth = png_get_bit_depth(job->png, job->info);
    Raster& out = *job->out;
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int entries = 0;
        if (png_get_PLTE(job->png, job->info, &palette, &entries) == PNG_INFO_PLTE) {
            out.palette.resize(static_cast<size_t>(entries));  // at most 256 entries
            for (int i = 0; i < entries; ++i) {
                out.palette[i] = RGBQUAD{palette[i].blue, palette[i].green, palette[i].red, 0};
            }
        }
        out.bpp = depth == 1 ? 1 : depth <= 4 ? 4 : 8;
    } else {
        out.bpp = 24;
    }
    png_set_expand(job->png);
    png_set_strip_16(job->png);
    png_set_gray_to_rgb(job->png);
    png_set_interlace_handling(job->png);
    png_read_update_info(job->png, job->info);
    int channels = png_get_channels(job->png, job->info);
    if (channels != 3 && channels != 4) {
        return false;
    }
    job->hasAlpha = channels == 4;
    if (!out.Allocate(width, height, job->hasAlpha)) {
        return false;
    }
    if (!job->hasAlpha) {
        job->rows = static_cast<png_bytep*>(AllocateCounted(sizeof(png_bytep) * height));
        if (!job->rows) {
            return false;
        }
        for (png_uint_32 y = 0; y < height; ++y) {
            job->rows[y] = out.rgb.get() + size_t{y} * width * 3;
        }
        png_read_image(job->png, job->rows);
        return true;
    }
    // RGBA rows are split into colour and alpha as they come. Interlaced passes revisit every
    // row, so such an image is held whole until the last pass.
    const bool interlaced = png_get_interlace_type(job->png, job->info) != PNG_INTERLACE_NONE;
    const size_t held = interlaced ? height : 1;
    job->rgba = static_cast<uint8_t*>(AllocateCounted(size_t{width} * 4 * held));
    if (!job->rgba) {
        return false;
    }
    if (interlaced) {
        job->rows = static_cast<png_bytep*>(AllocateCounted(sizeof(png_bytep) * height));
        if (!job->rows) {
            return false;
        }
        for (png_uint_32 y = 0; y < height; ++y) {
            job->rows[y] = job->rgba + size_t{y} * width * 4;
        }
        png_read_image(job->png, job->rows);
        SplitRgba(job->rgba, size_t{width} * height, out.rgb.get(), out.alpha.get());
        return true;
    }
    for (png_uint_32 y = 0; y < height; ++y) {
        png_read_row(job->png, job->rgba, nullptr);
        SplitRgba(job->rgba, width, out.rgb.get() + size_t{y} * width * 3,
                  out.alpha.get() + size_t{y} * width);
    }
    png_read_end(job->png, nullptr);
    return true;
}

struct WriteJob {
    CxFile* file;
    const Raster* image;
    ColourKey key;
    png_structp png;
    png_infop info;
    uint8_t* row;  // one RGBA row when alpha is written
};

void WriteBytes(png_structp png, png_bytep data, size_t count) {
    auto* job = static_cast<WriteJob*>(png_get_io_ptr(png));
    if (job->file->Write(data, 1, count) != count) {
        png_error(png, "write failed");
    }
}

void FlushBytes(png_structp) {}

// Whether every pixel is black or white and, unless keyed out, opaque, with black or white
// as the key: such an image (a mask) is written as one bit of grey a pixel with the key's
// grey transparent, which decodes to the same pixels as RGBA.
bool IsKeyedBlackAndWhite(const Raster& image, const ColourKey& key) {
    if (!key.active || key.red != key.green || key.green != key.blue ||
        (key.red != 0 && key.red != 255)) {
        return false;
    }
    const size_t pixels = size_t{image.width} * image.height;
    const uint8_t* rgb = image.rgb.get();
    for (size_t i = 0; i < pixels; ++i, rgb += 3) {
        if ((rgb[0] != 0 && rgb[0] != 255) || rgb[1] != rgb[0] || rgb[2] != rgb[0] ||
            (image.alpha && image.alpha[i] != 255 && !key.Matches(rgb))) {
            return false;
        }
    }
    return true;
}

void WriteBlackAndWhiteRows(WriteJob* job) {
    const Raster& image = *job->image;
    png_set_IHDR(job->png, job->info, image.width, image.height, 1, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_color_16 transparent{};
    transparent.gray = job->key.red == 255 ? 1 : 0;
    png_set_tRNS(job->png, job->info, nullptr, 0, &transparent);
    png_write_info(job->png, job->info);
    for (uint32_t y = 0; y < image.height; ++y) {
        const uint8_t* rgb = image.rgb.get() + size_t{y} * image.width * 3;
        std::memset(job->row, 0, (image.width + 7) / 8);
        for (uint32_t x = 0; x < image.width; ++x) {
            job->row[x / 8] |= static_cast<uint8_t>((rgb[size_t{x} * 3] & 1) << (7 - x % 8));
        }
        png_write_row(job->png, job->row);
    }
}

bool WriteRows(WriteJob* job) {
    if (setjmp(png_jmpbuf(job->png))) {
        return false;
    }
    const Raster& image = *job->image;
    bool alpha = image.alpha || job->key.active;
    png_set_write_fn(job->png, job, WriteBytes, FlushBytes);
    png_set_compression_level(job->png, 3);
    png_set_filter(job->png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB | PNG_FILTER_UP);
    if (IsKeyedBlackAndWhite(image, job->key)) {
        WriteBlackAndWhiteRows(job);
        png_write_end(job->png, nullptr);
        return true;
    }
    png_set_IHDR(job->png, job->info, image.width, image.height, 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(job->png, job->info);
    for (uint32_t y = 0; y < image.height; ++y) {
        const uint8_t* rgb = image.rgb.get() + size_t{y} * image.width * 3;
        if (!alpha) {
            png_write_row(job->png, rgb);
            continue;
        }
        const uint8_t* a = image.alpha ? image.alpha.get() + size_t{y} * image.width : nullptr;
        for (uint32_t x = 0; x < image.width; ++x) {
            uint8_t* p = job->row + size_t{x} * 4;
            std::memcpy(p, rgb + size_t{x} * 3, 3);
            p[3] = job->key.Matches(p) ? 0 : a ? a[x] : 255;
        }
        png_write_row(job->png, job->row);
    }
    png_write_end(job->png, nullptr);
    return true;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, Raster& out) {
    ReadJob job{data, size, 0, &out, nullptr, nullptr, nullptr, nullptr, false};
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!job.png) {
        return false;
    }
    job.info = png_create_info_struct(job.png);
    bool ok = job.info && ReadRows(&job);
    png_destroy_read_struct(&job.png, &job.info, nullptr);
    FreeCounted(job.rows);
    FreeCounted(job.rgba);
    if (!ok) {
        out = Raster();
    }
    return ok;
}

bool EncodePng(const Raster& image, const ColourKey& key, CxFile& file) {
    WriteJob job{&file, &image, key, nullptr, nullptr, nullptr};
    job.row = static_cast<uint8_t*>(AllocateCounted(size_t{image.width} * 4));
    if (!job.row) {
        return false;
    }
    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (job.png) {
        job.info = png_create_info_struct(job.png);
    }
    bool ok = job.png && job.info && WriteRows(&job);
    png_destroy_write_struct(&job.png, &job.info);
    FreeCounted(job.row);
    return ok;
}

}  // namespace qm::images::detail
