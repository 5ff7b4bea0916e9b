#pragma once

#include <qmsupport/export.h>

#include <cstdint>
#include <vector>

namespace qm::images {

// A bitmap as drawing code takes it: 32 bits a pixel, rows from the top, each pixel the bytes
// B, G, R, A with the colour premultiplied by alpha, the layout of cairo's ARGB32 (stride
// Width() × 4). It stands where the system holds a GDI bitmap; an empty bitmap is a bitmap
// object that holds nothing.
class QMSUPPORT_API Bitmap {
  public:
    // A transparent black bitmap; false (and empty) outside the image bound.
    bool Create(uint32_t width, uint32_t height);
    void Destroy();
    bool IsEmpty() const { return pixels_.empty(); }
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    uint8_t* Pixels() { return pixels_.data(); }
    const uint8_t* Pixels() const { return pixels_.data(); }

  private:
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    std::vector<uint8_t> pixels_;
};

// Loads the bitmap resource with that id from the resource chain; false (and an empty
// bitmap) for an unknown id or a file that does not decode.
QMSUPPORT_API bool LoadBitmapResource(unsigned int id, Bitmap& bitmap);

// A list of images of one size, each with a mask, as tree and list views draw them.
class QMSUPPORT_API ImageList {
  public:
    static constexpr unsigned kColor24 = 0x18;
    static constexpr unsigned kMask = 0x01;

    // Empties the list and sets the image size; `initial` and `grow` size its storage.
    bool Create(int width, int height, unsigned flags, int initial, int grow);
    void DeleteImageList();
    // Adds the bitmap with `maskColour` (a Windows colour value) as its transparent colour:
    // those pixels are masked and drawn as nothing. A bitmap of another size is resampled to
    // the list's size, transparency included; an empty bitmap adds a fully transparent
    // image. Returns the new image's index, or -1.
    int Add(const Bitmap& bitmap, uint32_t maskColour);
    int GetImageCount() const { return static_cast<int>(images_.size()); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The image (masked pixels transparent black) and its mask (1 where transparent), rows
    // from the top; null outside the list.
    const Bitmap* GetImage(int index) const;
    const std::vector<uint8_t>* GetMask(int index) const;

  private:
    int width_ = 0;
    int height_ = 0;
    unsigned flags_ = 0;
    std::vector<Bitmap> images_;
    std::vector<std::vector<uint8_t>> masks_;
};

}  // namespace qm::images
