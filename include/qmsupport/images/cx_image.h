#pragma once

#include <qmsupport/export.h>
#include <qmsupport/images/cx_file.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A colour as the image functions take it: blue, green, red and a reserved byte (alpha where
// a function says so).
struct RGBQUAD {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
};

namespace qm::images {

// The bound on every image: at most 64 × 2^20 pixels and 16,384 on a side. Decoders check the
// declared dimensions against it before they allocate anything.
inline constexpr uint64_t kMaxPixels = uint64_t{64} << 20;
inline constexpr uint32_t kMaxSide = 16384;
// The most pixel memory one allocation may take: four bytes a pixel of the largest image.
inline constexpr uint64_t kMaxPixelBytes = kMaxPixels * 4;

// Format codes. 0 detects the format from the leading bytes; 1, 2 and 3 also encode.
inline constexpr uint32_t kFormatUnknown = 0;
inline constexpr uint32_t kFormatBmp = 1;
inline constexpr uint32_t kFormatJpeg = 2;   // written at quality 90
inline constexpr uint32_t kFormatPng = 3;    // keeps the alpha channel and the transparent colour
inline constexpr uint32_t kFormatGif = 4;    // read only: the first frame
inline constexpr uint32_t kFormatOther = 5;  // read only: TGA, PSD, PIC and PNM

// Whether an image of that size is within the bound.
constexpr bool WithinBound(uint64_t width, uint64_t height) {
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
           width * height <= kMaxPixels;
}

class Bitmap;

namespace detail {
struct PixelFree {
    void operator()(uint8_t* pixels) const;
};
using PixelBuffer = std::unique_ptr<uint8_t[], PixelFree>;

// The pixels of an image: R, G, B bytes with rows from the top, an optional alpha plane and
// the palette of an image that was read or created with one. The declared depth (`bpp`) is
// 1, 4, 8 or 24; the pixels are kept as RGB whatever it is.
struct Raster {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bpp = 0;
    PixelBuffer rgb;
    PixelBuffer alpha;
    std::vector<RGBQUAD> palette;

    // Allocates zeroed RGB pixels (and an alpha plane when asked) within the bound.
    bool Allocate(uint32_t w, uint32_t h, bool withAlpha);
    bool AllocateAlpha(uint8_t fill);
};
}  // namespace detail

}  // namespace qm::images

// An image with its decoders and encoders. Rows are numbered from the bottom in the pixel
// accessors, as in a bottom-up bitmap.
class QMSUPPORT_API CxImage {
  public:
    CxImage();
    // Reads an image file (a path in the system's form); invalid when it cannot be read.
    CxImage(const char* path, uint32_t type);
    // Decodes bytes of the given format code (0 detects it); invalid when they do not decode.
    CxImage(const uint8_t* data, size_t size, uint32_t type);
    CxImage(const CxImage&) = delete;
    CxImage& operator=(const CxImage&) = delete;
    CxImage(CxImage&&) noexcept;
    CxImage& operator=(CxImage&&) noexcept;
    virtual ~CxImage();

    bool Load(const char* path, uint32_t type);
    bool Decode(const uint8_t* data, size_t size, uint32_t type);
    // A black image; depth 1, 4 or 8 gives a grey palette, 32 gives 24 bits with alpha.
    bool Create(uint32_t width, uint32_t height, uint32_t bpp, uint32_t type = 0);
    bool Destroy();
    bool IsValid() const { return raster_.rgb != nullptr; }
    uint32_t GetWidth() const { return raster_.width; }
    uint32_t GetHeight() const { return raster_.height; }
    uint32_t GetBpp() const { return raster_.bpp; }
    // The format code the image was read from (0 for a created image).
    uint32_t GetType() const { return type_; }
    // Writes the image in format 1, 2 or 3 through the file; false for another code, an
    // invalid image or a failing write.
    bool Encode(CxFile* file, uint32_t type);

    bool AlphaCreate();  // an opaque alpha plane, when there is none
    bool AlphaIsValid() const { return raster_.alpha != nullptr; }
    void AlphaDelete();
    // The palette index nearest to the colour; 0 when there is no palette.
    uint8_t GetNearestIndex(RGBQUAD colour) const;
    // A transparent index of -1 means no transparency. With a palette the index names the
    // transparent entry; without one the transparent colour counts.
    void SetTransIndex(long index) { transIndex_ = index; }
    long GetTransIndex() const { return transIndex_; }
    void SetTransColor(RGBQUAD colour) { transColor_ = colour; }
    RGBQUAD GetTransColor() const;
    // Raises the declared depth; 24 drops the palette. Depths never go down.
    bool IncreaseBpp(uint32_t bpp);
    // Resamples to the size given, into `target` or, without one, in place. Mode 1 is a
    // triangle (bilinear) filter, mode 2 Catmull-Rom (bicubic); alpha is resampled with the
    // colour.
    bool Resample(long newWidth, long newHeight, int mode = 1, CxImage* target = nullptr);
    // Rows from the bottom. With `getAlpha` the reserved byte carries alpha (255 without an
    // alpha plane), else 0. Outside the image: all zero.
    RGBQUAD GetPixelColor(long x, long y, bool getAlpha = true) const;
    void SetPixelColor(long x, long y, RGBQUAD colour, bool setAlpha = false);
    // The pixels of row y counted from the top (row 0 is the top row, whatever the pixel
    // accessors count from), three bytes a pixel: red, green, blue. Null outside the image.
    const uint8_t* TopRow(long y) const;
    uint8_t* TopRow(long y);
    // Pixels whose luminance (0.299 R + 0.587 G + 0.114 B) is above the level become white,
    // the others black. Depth, palette and alpha stay as they are.
    bool Threshold(long level);
    const std::vector<RGBQUAD>& GetPalette() const { return raster_.palette; }

    // From a 32-bit bitmap; the alpha plane is kept when some pixel is not opaque.
    bool CreateFromBitmap(const qm::images::Bitmap& bitmap);
    // From the icon resource with that id (icons/<id>.png in the resource chain).
    bool CreateFromIcon(unsigned int id);
    // A 32-bit bitmap of the image; an empty one when the image is invalid.
    qm::images::Bitmap MakeBitmap() const;

  private:
    qm::images::detail::Raster raster_;
    uint32_t type_ = 0;
    long transIndex_ = -1;
    RGBQUAD transColor_;
};
