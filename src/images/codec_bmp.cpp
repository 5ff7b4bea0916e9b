// BMP: the header is checked here, where stb_image would trust it, and the pixels are decoded
// by stb_image. Encoding writes an uncompressed bottom-up bitmap, 24 bits a pixel, or 32
// with the alpha channel.
#include "images/codecs.h"

#include <climits>
#include <cstring>
#include <vector>

namespace qm::images::detail {
namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}
void PutLe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// Whether the header declares an image that is within the bound and is self-consistent: a
// width above 0, a height other than 0 and -2^31 (a negative height is a top-down bitmap),
// a known depth and a palette no longer than the depth allows.
bool HeaderIsSound(const uint8_t* data, size_t size) {
    if (size < 18 || data[0] != 'B' || data[1] != 'M') {
        return false;
    }
    const uint32_t headerSize = Le32(data + 14);
    int64_t width, height;
    unsigned depth;
    uint32_t colours = 0;
    if (headerSize == 12) {
        if (size < 26) {
            return false;
        }
        width = Le16(data + 18);
        height = Le16(data + 20);
        depth = Le16(data + 24);
    } else if (headerSize >= 40) {
        if (size < 54) {
            return false;
        }
        width = static_cast<int32_t>(Le32(data + 18));
        height = static_cast<int32_t>(Le32(data + 22));
        depth = Le16(data + 28);
        colours = Le32(data + 46);
    } else {
        return false;
    }
    if (width <= 0 || height == 0 || height == INT32_MIN) {
        return false;
    }
    if (!WithinBound(static_cast<uint64_t>(width),
                     static_cast<uint64_t>(height < 0 ? -height : height))) {
        return false;
    }
    if (depth == 1 || depth == 4 || depth == 8) {
        if (colours > (1u << depth)) {
            return false;
        }
    } else if (depth != 16 && depth != 24 && depth != 32) {
        return false;
    } else if (colours > 256) {
        return false;
    }
    // The rows must all be there: a truncated file would otherwise load with zeros for the
    // missing rows. Only uncompressed and bit-field bitmaps are read.
    const uint32_t compression = headerSize >= 40 ? Le32(data + 30) : 0;
    if (compression != 0 && compression != 3) {
        return false;
    }
    const uint64_t stride = (static_cast<uint64_t>(width) * depth + 31) / 32 * 4;
    const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
    return uint64_t{Le32(data + 10)} + stride * rows <= size;
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, Raster& out) {
    out = Raster();
    return HeaderIsSound(data, size) && DecodeOther(data, size, out);
}

bool EncodeBmp(const Raster& image, CxFile& file) {
    const bool alpha = image.alpha != nullptr;
    const uint32_t bytesPerPixel = alpha ? 4 : 3;
    const uint32_t stride = (image.width * bytesPerPixel + 3) & ~3u;
    const uint64_t pixelBytes = uint64_t{stride} * image.height;
    if (pixelBytes + 54 > UINT32_MAX) {
        return false;
    }
    std::vector<uint8_t> out;
    out.reserve(54);
    out.push_back('B');
    out.push_back('M');
    PutLe32(out, static_cast<uint32_t>(54 + pixelBytes));
    PutLe32(out, 0);
    PutLe32(out, 54);
    PutLe32(out, 40);
    PutLe32(out, image.width);
    PutLe32(out, image.height);  // positive: rows from the bottom
    PutLe16(out, 1);
    PutLe16(out, static_cast<uint16_t>(bytesPerPixel * 8));
    PutLe32(out, 0);  // uncompressed
    PutLe32(out, static_cast<uint32_t>(pixelBytes));
    PutLe32(out, 3780);  // 96 dots per inch
    PutLe32(out, 3780);
    PutLe32(out, 0);
    PutLe32(out, 0);
    if (file.Write(out.data(), 1, out.size()) != out.size()) {
        return false;
    }
    std::vector<uint8_t> row(stride, 0);
    for (uint32_t y = image.height; y-- > 0;) {
        const uint8_t* rgb = image.rgb.get() + size_t{y} * image.width * 3;
        for (uint32_t x = 0; x < image.width; ++x) {
            uint8_t* p = row.data() + size_t{x} * bytesPerPixel;
            p[0] = rgb[x * 3 + 2];
            p[1] = rgb[x * 3 + 1];
            p[2] = rgb[x * 3];
            if (alpha) {
                p[3] = image.alpha[size_t{y} * image.width + x];
            }
        }
        if (file.Write(row.data(), 1, stride) != stride) {
            return false;
        }
    }
    return true;
}

}  // namespace qm::images::detail
