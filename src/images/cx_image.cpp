#include <qmsupport/images/bitmap.h>
#include <qmsupport/images/cx_image.h>

#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/store/resource_chain.h>

#include "images/codecs.h"
#include "toolsapi/no_throw.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

using namespace qm::images;
using namespace qm::images::detail;

CxImage::CxImage() = default;

CxImage::CxImage(const char* path, uint32_t type) {
    Load(path, type);
}

CxImage::CxImage(const uint8_t* data, size_t size, uint32_t type) {
    Decode(data, size, type);
}

CxImage::CxImage(CxImage&&) noexcept = default;
CxImage& CxImage::operator=(CxImage&&) noexcept = default;
CxImage::~CxImage() = default;

bool CxImage::Load(const char* path, uint32_t type) {
    Destroy();
    if (!path) {
        return false;
    }
    // Decode leaves no half-made image, and reading the file changes none.
    return qm::detail::NoThrow(false, [&] {
        std::string data;
        if (!qm::platform::ReadFile(qm::platform::NativePath(std::string(path)), data)) {
            return false;
        }
        return Decode(reinterpret_cast<const uint8_t*>(data.data()), data.size(), type);
    });
}

bool CxImage::Decode(const uint8_t* data, size_t size, uint32_t type) {
    Destroy();
    if (!data || size == 0) {
        return false;
    }
    if (type == kFormatUnknown) {
        type = DetectFormat(data, size);
    }
    const bool ok = qm::detail::NoThrow(false, [&] {
        switch (type) {
            case kFormatBmp:
                return DecodeBmp(data, size, raster_);
            case kFormatJpeg:
                return DecodeJpeg(data, size, raster_);
            case kFormatPng:
                return DecodePng(data, size, raster_);
            case kFormatGif:
                return DecodeGif(data, size, raster_);
            case kFormatOther:
                return DecodeOther(data, size, raster_);
            default:
                return false;
        }
    });
    if (!ok) {
        Destroy();
        return false;
    }
    type_ = type;
    return true;
}

bool CxImage::Create(uint32_t width, uint32_t height, uint32_t bpp, uint32_t type) {
    Destroy();
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) {
        return false;
    }
    if (!raster_.Allocate(width, height, bpp == 32)) {
        return false;
    }
    raster_.bpp = bpp == 32 ? 24 : bpp;
    if (bpp <= 8) {
        unsigned entries = 1u << bpp;
        raster_.palette.resize(entries);
        for (unsigned i = 0; i < entries; ++i) {
            uint8_t grey = static_cast<uint8_t>(i * 255 / (entries - 1));
            raster_.palette[i] = RGBQUAD{grey, grey, grey, 0};
        }
    }
    type_ = type;
    return true;
}

bool CxImage::Destroy() {
    raster_.rgb.reset();
    raster_.alpha.reset();
    raster_.palette.clear();
    raster_.width = raster_.height = raster_.bpp = 0;
    type_ = 0;
    transIndex_ = -1;
    transColor_ = RGBQUAD();
    return true;
}

RGBQUAD CxImage::GetTransColor() const {
    if (transIndex_ >= 0 && static_cast<size_t>(transIndex_) < raster_.palette.size()) {
        return raster_.palette[static_cast<size_t>(transIndex_)];
    }
    return transColor_;
}

bool CxImage::Encode(CxFile* file, uint32_t type) {
    if (!file || !IsValid()) {
        return false;
    }
    ColourKey key;
    if (transIndex_ >= 0) {
        RGBQUAD colour = GetTransColor();
        key = ColourKey{true, colour.rgbRed, colour.rgbGreen, colour.rgbBlue};
    }
    return qm::detail::NoThrow(false, [&] {
        switch (type) {
            case kFormatBmp:
                return EncodeBmp(raster_, *file);
            case kFormatJpeg:
                return EncodeJpeg(raster_, *file);
            case kFormatPng:
                return EncodePng(raster_, key, *file);
            default:
                return false;
        }
    });
}

bool CxImage::AlphaCreate() {
    if (!IsValid()) {
        return false;
    }
    return raster_.alpha || raster_.AllocateAlpha(255);
}

void CxImage::AlphaDelete() {
    raster_.alpha.reset();
}

uint8_t CxImage::GetNearestIndex(RGBQUAD colour) const {
    uint8_t best = 0;
    long bestDistance = -1;
    for (size_t i = 0; i < raster_.palette.size() && i < 256; ++i) {
        const RGBQUAD& p = raster_.palette[i];
        long dr = p.rgbRed - colour.rgbRed;
        long dg = p.rgbGreen - colour.rgbGreen;
        long db = p.rgbBlue - colour.rgbBlue;
        long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<uint8_t>(i);
        }
    }
    return best;
}

bool CxImage::IncreaseBpp(uint32_t bpp) {
    if (!IsValid() || (bpp != 4 && bpp != 8 && bpp != 24)) {
        return false;
    }
    if (bpp <= raster_.bpp) {
        return true;
    }
    if (bpp == 24) {
        // The transparent entry becomes the transparent colour once the palette is gone.
        transColor_ = GetTransColor();
        raster_.palette.clear();
    }
    raster_.bpp = bpp;
    return true;
}

bool CxImage::Resample(long newWidth, long newHeight, int mode, CxImage* target) {
    if (!IsValid() || newWidth <= 0 || newHeight <= 0 ||
        !WithinBound(static_cast<uint64_t>(newWidth), static_cast<uint64_t>(newHeight))) {
        return false;
    }
    Raster resized;
    if (!ResampleRaster(raster_, static_cast<uint32_t>(newWidth), static_cast<uint32_t>(newHeight),
                        mode, resized)) {
        return false;
    }
    CxImage& out = target ? *target : *this;
    uint32_t bpp = raster_.bpp;
    if (!qm::detail::NoThrow(false, [&] {
            out.raster_.palette = std::vector<RGBQUAD>(raster_.palette);
            return true;
        })) {
        return false;
    }
    out.raster_.rgb = std::move(resized.rgb);
    out.raster_.alpha = std::move(resized.alpha);
    out.raster_.width = resized.width;
    out.raster_.height = resized.height;
    out.raster_.bpp = bpp;
    if (target) {
        target->type_ = type_;
        target->transIndex_ = transIndex_;
        target->transColor_ = transColor_;
    }
    return true;
}

RGBQUAD CxImage::GetPixelColor(long x, long y, bool getAlpha) const {
    RGBQUAD colour;
    if (!IsValid() || x < 0 || y < 0 || x >= static_cast<long>(raster_.width) ||
        y >= static_cast<long>(raster_.height)) {
        return colour;
    }
    size_t at = static_cast<size_t>(raster_.height - 1 - y) * raster_.width + x;
    const uint8_t* p = raster_.rgb.get() + at * 3;
    colour.rgbRed = p[0];
    colour.rgbGreen = p[1];
    colour.rgbBlue = p[2];
    if (getAlpha) {
        colour.rgbReserved = raster_.alpha ? raster_.alpha[at] : 255;
    }
    return colour;
}

void CxImage::SetPixelColor(long x, long y, RGBQUAD colour, bool setAlpha) {
    if (!IsValid() || x < 0 || y < 0 || x >= static_cast<long>(raster_.width) ||
        y >= static_cast<long>(raster_.height)) {
        return;
    }
    size_t at = static_cast<size_t>(raster_.height - 1 - y) * raster_.width + x;
    uint8_t* p = raster_.rgb.get() + at * 3;
    p[0] = colour.rgbRed;
    p[1] = colour.rgbGreen;
    p[2] = colour.rgbBlue;
    if (setAlpha && raster_.alpha) {
        raster_.alpha[at] = colour.rgbReserved;
    }
}

const uint8_t* CxImage::TopRow(long y) const {
    if (!IsValid() || y < 0 || y >= static_cast<long>(raster_.height)) {
        return nullptr;
    }
    return raster_.rgb.get() + static_cast<size_t>(y) * raster_.width * 3;
}

uint8_t* CxImage::TopRow(long y) {
    return const_cast<uint8_t*>(std::as_const(*this).TopRow(y));
}

bool CxImage::Threshold(long level) {
    if (!IsValid()) {
        return false;
    }
    // The luminance in thousandths, compared without rounding it first; a level outside
    // 0 to 255 makes every pixel white or every pixel black.
    const long limit = std::clamp(level, -1L, 255L) * 1000;
    size_t count = size_t{raster_.width} * raster_.height;
    uint8_t* p = raster_.rgb.get();
    for (size_t i = 0; i < count; ++i, p += 3) {
        long luminance = 299L * p[0] + 587L * p[1] + 114L * p[2];
        uint8_t value = luminance > limit ? 255 : 0;
        p[0] = p[1] = p[2] = value;
    }
    return true;
}

bool CxImage::CreateFromBitmap(const Bitmap& bitmap) {
    Destroy();
    if (bitmap.IsEmpty() || !raster_.Allocate(bitmap.Width(), bitmap.Height(), false)) {
        return false;
    }
    raster_.bpp = 24;
    size_t count = size_t{bitmap.Width()} * bitmap.Height();
    const uint8_t* bgra = bitmap.Pixels();
    bool opaque = true;
    for (size_t i = 0; i < count; ++i) {
        // Undo the premultiplication; a fully transparent pixel has no colour left.
        unsigned a = bgra[i * 4 + 3];
        for (int c = 0; c < 3; ++c) {
            unsigned v = bgra[i * 4 + 2 - c];
            raster_.rgb[i * 3 + c] = static_cast<uint8_t>(
                a == 255 || a == 0 ? v : std::min(255u, (v * 255 + a / 2) / a));
        }
        opaque = opaque && a == 255;
    }
    if (!opaque) {
        if (!raster_.AllocateAlpha(255)) {
            Destroy();
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            raster_.alpha[i] = bgra[i * 4 + 3];
        }
    }
    return true;
}

bool CxImage::CreateFromIcon(unsigned int id) {
    Destroy();
    std::optional<std::string> path = qm::platform::ResourceChain::FindIcon(id);
    if (!path) {
        return false;
    }
    return qm::detail::NoThrow(false, [&] {
        std::string data;
        return qm::platform::ReadFile(*path, data) &&
               Decode(reinterpret_cast<const uint8_t*>(data.data()), data.size(), kFormatPng);
    });
}

Bitmap CxImage::MakeBitmap() const {
    Bitmap bitmap;
    if (!IsValid() || !bitmap.Create(raster_.width, raster_.height)) {
        return bitmap;
    }
    size_t count = size_t{raster_.width} * raster_.height;
    uint8_t* bgra = bitmap.Pixels();
    for (size_t i = 0; i < count; ++i) {
        unsigned a = raster_.alpha ? raster_.alpha[i] : 255;
        for (int c = 0; c < 3; ++c) {
            bgra[i * 4 + 2 - c] = static_cast<uint8_t>((raster_.rgb[i * 3 + c] * a + 127) / 255);
        }
        bgra[i * 4 + 3] = static_cast<uint8_t>(a);
    }
    return bitmap;
}

uint32_t qm::images::detail::DetectFormat(const uint8_t* data, size_t size) {
    static constexpr uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= sizeof kPng && std::memcmp(data, kPng, sizeof kPng) == 0) {
        return kFormatPng;
    }
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        return kFormatJpeg;
    }
    if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0)) {
        return kFormatGif;
    }
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        return kFormatBmp;
    }
    return RecognisedByStb(data, size) ? kFormatOther : kFormatUnknown;
}
