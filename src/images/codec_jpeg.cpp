// JPEG through libjpeg-turbo. The functions that call setjmp hold no C++ object with a
// destructor; the error manager jumps back to them.
#include "images/codecs.h"
#include "images/pixel_memory.h"

#include <jerror.h>
#include <jpeglib.h>
#include <cstdio>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace qm::images::detail {
namespace {

// Working memory libjpeg may take beyond the image (coefficient buffers of progressive
// images, tables); past it decoding fails, as there is no backing store.
constexpr long kWorkingMemory = 16l << 20;

struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
};

void JpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}
void JpegMessage(j_common_ptr) {}
// Data that ends early is padded by libjpeg with a warning; such an image is incomplete and
// fails like any other error.
void JpegEmit(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
        JpegError(info);
    }
}

struct ReadJob {
    jpeg_decompress_struct info;
    ErrorManager error;
    Raster* out;
    uint8_t* cmykRow;  // one row of CMYK samples, for CMYK and YCCK images
};

// CMYK as Adobe applications store it, inverted (0 is full ink), which libjpeg marks by the
// Adobe marker; without that marker 0 is no ink.
void CmykToRgb(const uint8_t* cmyk, size_t count, bool inverted, uint8_t* rgb) {
    for (size_t i = 0; i < count; ++i, cmyk += 4, rgb += 3) {
        const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned v = inverted ? cmyk[c] : 255u - cmyk[c];
            rgb[c] = static_cast<uint8_t>((v * k + 127) / 255);
        }
    }
}

bool ReadRows(ReadJob* job, const uint8_t* data, size_t size) {
    jpeg_decompress_struct& info = job->info;
    if (setjmp(job->error.jump)) {
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK ||
        !WithinBound(info.image_width, info.image_height)) {
        return false;
    }
    info.mem->max_memory_to_use =
        static_cast<long>(uint64_t{info.image_width} * info.image_height * 3) + kWorkingMemory;
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != (cmyk ? 4 : 3) || info.output_width != info.image_width ||
        info.output_height != info.image_height) {
        return false;
    }
    Raster& out = *job->out;
    if (!out.Allocate(info.output_width, info.output_height, false)) {
        return false;
    }
    out.bpp = 24;
    if (cmyk) {
        job->cmykRow = static_cast<uint8_t*>(AllocateCounted(size_t{info.output_width} * 4));
        if (!job->cmykRow) {
            return false;
        }
    }
    while (info.output_scanline < info.output_height) {
        uint8_t* rgb = out.rgb.get() + size_t{info.output_scanline} * info.output_width * 3;
        JSAMPROW row = cmyk ? job->cmykRow : rgb;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) {
            return false;
        }
        if (cmyk) {
            CmykToRgb(job->cmykRow, info.output_width, info.saw_Adobe_marker, rgb);
        }
    }
    jpeg_finish_decompress(&info);
    return true;
}

struct WriteJob {
    jpeg_compress_struct info;
    ErrorManager error;
    unsigned char* buffer;
    unsigned long size;
};

bool WriteRows(WriteJob* job, const Raster& image) {
    jpeg_compress_struct& info = job->info;
    if (setjmp(job->error.jump)) {
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &job->buffer, &job->size);
    info.image_width = image.width;
    info.image_height = image.height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = image.rgb.get() + size_t{info.next_scanline} * image.width * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, Raster& out) {
    auto* job = static_cast<ReadJob*>(std::calloc(1, sizeof(ReadJob)));
    if (!job) {
        return false;
    }
    job->out = &out;
    job->info.err = jpeg_std_error(&job->error.base);
    job->error.base.error_exit = JpegError;
    job->error.base.output_message = JpegMessage;
    job->error.base.emit_message = JpegEmit;
    bool ok = ReadRows(job, data, size);
    jpeg_destroy_decompress(&job->info);
    FreeCounted(job->cmykRow);
    std::free(job);
    if (!ok) {
        out = Raster();
    }
    return ok;
}

bool EncodeJpeg(const Raster& image, CxFile& file) {
    auto* job = static_cast<WriteJob*>(std::calloc(1, sizeof(WriteJob)));
    if (!job) {
        return false;
    }
    job->info.err = jpeg_std_error(&job->error.base);
    job->error.base.error_exit = JpegError;
    job->error.base.output_message = JpegMessage;
    bool ok = WriteRows(job, image);
    jpeg_destroy_compress(&job->info);
    ok = ok && file.Write(job->buffer, 1, job->size) == job->size;
    std::free(job->buffer);
    std::free(job);
    return ok;
}

}  // namespace qm::images::detail
