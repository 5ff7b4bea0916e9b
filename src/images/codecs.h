#pragma once

#include <qmsupport/images/cx_image.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The decoders and encoders behind CxImage, one file per library. Each decoder checks the
// declared dimensions against the bound before it allocates pixels, and leaves `out` empty
// when it fails.
namespace qm::images::detail {

// The format of the leading bytes: PNG, JPEG, GIF or BMP by their signatures, else
// kFormatOther when stb_image recognises the data, else kFormatUnknown.
uint32_t DetectFormat(const uint8_t* data, size_t size);

bool DecodePng(const uint8_t* data, size_t size, Raster& out);
bool DecodeJpeg(const uint8_t* data, size_t size, Raster& out);
bool DecodeGif(const uint8_t* data, size_t size, Raster& out);
bool DecodeBmp(const uint8_t* data, size_t size, Raster& out);
bool DecodeOther(const uint8_t* data, size_t size, Raster& out);
bool RecognisedByStb(const uint8_t* data, size_t size);

// The colour whose pixels are written fully transparent, when `active`.
struct ColourKey {
    bool active = false;
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    bool Matches(const uint8_t* rgb) const {
        return active && rgb[0] == red && rgb[1] == green && rgb[2] == blue;
    }
};

// Encoded data read from memory by the decoders' read callbacks. A read or skip that asks
// for more than is left gets what is left and marks the source starved, so that a file that
// ends before its pixels do is noticed.
struct ByteSource {
    const uint8_t* data;
    size_t size;
    size_t position = 0;
    bool starved = false;

    // Copies up to `count` bytes to `out`; the number copied.
    size_t Read(void* out, int count) {
        const size_t n = std::min(static_cast<size_t>(std::max(count, 0)), size - position);
        if (n == 0 && count > 0) {
            starved = true;
        }
        std::memcpy(out, data + position, n);
        position += n;
        return n;
    }
    // Moves the position by `count`, backwards when negative, never before the start.
    void Skip(int count) {
        if (count < 0) {
            position -= std::min(position, static_cast<size_t>(-static_cast<int64_t>(count)));
        } else if (static_cast<size_t>(count) > size - position) {
            starved = true;
            position = size;
        } else {
            position += static_cast<size_t>(count);
        }
    }
    bool AtEnd() const { return position >= size; }
};

bool EncodePng(const Raster& image, const ColourKey& key, CxFile& file);
bool EncodeJpeg(const Raster& image, CxFile& file);
bool EncodeBmp(const Raster& image, CxFile& file);

// Resamples RGB and alpha together (stb_image_resize); mode 1 triangle, 2 Catmull-Rom.
bool ResampleRaster(const Raster& source, uint32_t width, uint32_t height, int mode, Raster& out);

}  // namespace qm::images::detail
