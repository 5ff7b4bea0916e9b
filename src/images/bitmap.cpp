#include <qmsupport/images/bitmap.h>
#include <qmsupport/images/cx_image.h>

#include <qmsupport/store/resource_chain.h>

#include "toolsapi/no_throw.h"

namespace qm::images {

bool Bitmap::Create(uint32_t width, uint32_t height) {
    Destroy();
    if (!WithinBound(width, height)) {
        return false;
    }
    if (!qm::detail::NoThrow(false, [&] {
            pixels_.assign(size_t{width} * height * 4, 0);
            return true;
        })) {
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

void Bitmap::Destroy() {
    pixels_ = std::vector<uint8_t>();
    width_ = height_ = 0;
}

bool LoadBitmapResource(unsigned int id, Bitmap& bitmap) {
    bitmap.Destroy();
    std::optional<std::string> path = platform::ResourceChain::FindBitmap(id);
    if (!path) {
        return false;
    }
    CxImage image(path->c_str(), kFormatUnknown);
    bitmap = image.MakeBitmap();
    return !bitmap.IsEmpty();
}

bool ImageList::Create(int width, int height, unsigned flags, int initial, int grow) {
    DeleteImageList();
    if (width <= 0 || height <= 0 || !WithinBound(width, height)) {
        return false;
    }
    width_ = width;
    height_ = height;
    flags_ = flags;
    qm::detail::NoThrow([&] {  // the reservation is only a hint
        images_.reserve(static_cast<size_t>(std::max(initial, 0)));
        masks_.reserve(static_cast<size_t>(std::max(initial, 0)));
    });
    (void)grow;  // vectors grow geometrically of their own accord
    return true;
}

void ImageList::DeleteImageList() {
    images_.clear();
    masks_.clear();
}

int ImageList::Add(const Bitmap& bitmap, uint32_t maskColour) {
    if (width_ <= 0) {
        return -1;
    }
    return qm::detail::NoThrow(-1, [&] {
        Bitmap image;
        std::vector<uint8_t> mask(size_t(width_) * height_, 1);
        if (!image.Create(width_, height_)) {
            return -1;
        }
        CxImage source;
        if (source.CreateFromBitmap(bitmap) && source.AlphaCreate()) {
            // The mask colour becomes transparency first, so that resampling carries it.
            const uint8_t red = maskColour & 0xFF, green = (maskColour >> 8) & 0xFF,
                          blue = (maskColour >> 16) & 0xFF;
            bool masked = flags_ & kMask;
            for (long y = 0; y < static_cast<long>(source.GetHeight()); ++y) {
                for (long x = 0; x < static_cast<long>(source.GetWidth()); ++x) {
                    RGBQUAD c = source.GetPixelColor(x, y);
                    if (masked && c.rgbRed == red && c.rgbGreen == green && c.rgbBlue == blue) {
                        c.rgbReserved = 0;
                        source.SetPixelColor(x, y, c, true);
                    }
                }
            }
            if ((source.GetWidth() != static_cast<uint32_t>(width_) ||
                 source.GetHeight() != static_cast<uint32_t>(height_)) &&
                !source.Resample(width_, height_, 1)) {
                return -1;
            }
            for (long y = 0; y < height_; ++y) {
                for (long x = 0; x < width_; ++x) {
                    RGBQUAD c = source.GetPixelColor(x, height_ - 1 - y);
                    size_t at = size_t(y) * width_ + x;
                    if (c.rgbReserved >= 128 || !masked) {
                        mask[at] = 0;
                        uint8_t* p = image.Pixels() + at * 4;
                        p[0] = c.rgbBlue;
                        p[1] = c.rgbGreen;
                        p[2] = c.rgbRed;
                        p[3] = 255;
                    }
                }
            }
        }
        images_.push_back(std::move(image));
        masks_.push_back(std::move(mask));
        return static_cast<int>(images_.size()) - 1;
    });
}

const Bitmap* ImageList::GetImage(int index) const {
    return index >= 0 && index < GetImageCount() ? &images_[static_cast<size_t>(index)] : nullptr;
}

const std::vector<uint8_t>* ImageList::GetMask(int index) const {
    return index >= 0 && index < GetImageCount() ? &masks_[static_cast<size_t>(index)] : nullptr;
}

}  // namespace qm::images
