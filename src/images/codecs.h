#pragma once

#include <qmsupport/images/cx_image.h>

#include <cstddef>
#include <cstdint>

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

bool EncodePng(const Raster& image, const ColourKey& key, CxFile& file);
bool EncodeJpeg(const Raster& image, CxFile& file);
bool EncodeBmp(const Raster& image, CxFile& file);

// Resamples RGB and alpha together (stb_image_resize); mode 1 triangle, 2 Catmull-Rom.
bool ResampleRaster(const Raster& source, uint32_t width, uint32_t height, int mode, Raster& out);

}  // namespace qm::images::detail
