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
};

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
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3 || info.output_width != info.image_width ||
        info.output_height != info.image_height) {
        return false;
    }
    Raster& out = *job->out;
    if (!out.Allocate(info.output_width, info.output_height, false)) {
        return false;
    }
    out.bpp = 24;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.rgb.get() + size_t{info.output_scanline} * info.output_width * 3;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) {
            return false;
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
