#pragma once

#include <qmsupport/images/cx_image.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

// A test picture: smooth gradients with a red square in the top-left corner, so that orientation
// and channel order show.
inline void PaintTestImage(CxImage& image, uint32_t width, uint32_t height, uint32_t bpp = 24) {
    ASSERT_TRUE(image.Create(width, height, bpp));
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            RGBQUAD c{static_cast<uint8_t>(x * 255 / width), static_cast<uint8_t>(y * 255 / height),
                      static_cast<uint8_t>((x + y) * 255 / (width + height)), 255};
            // Rows count from the bottom: the top rows have the highest y.
            if (x < width / 4 && y >= height - height / 4) {
                c = RGBQUAD{0, 0, 255, 255};
            }
            image.SetPixelColor(x, y, c);
        }
    }
}

// A 24-bit picture of greys: pixel (x, y), rows from the top, is grey(x, y) on every channel.
inline CxImage GreyPicture(long width, long height,
                           const std::function<uint8_t(long, long)>& grey) {
    CxImage image;
    EXPECT_TRUE(image.Create(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 24));
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x) {
            std::fill_n(image.TopRow(y) + x * 3, 3, grey(x, y));
        }
    }
    return image;
}

// The bytes of the image encoded in the format given; empty when encoding fails.
inline std::string EncodeImageBytes(CxImage& image, uint32_t format) {
    CxMemFile file;
    if (!file.Open() || !image.Encode(&file, format)) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(file.GetBuffer(false)),
                       static_cast<size_t>(file.Size()));
}

inline CxImage DecodeImageBytes(const std::string& bytes, uint32_t format = 0) {
    return CxImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), format);
}

// Whether the two images have the same size and the same colour and alpha in every pixel.
inline bool SamePixels(const CxImage& a, const CxImage& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) {
        return false;
    }
    for (long y = 0; y < static_cast<long>(a.GetHeight()); ++y) {
        for (long x = 0; x < static_cast<long>(a.GetWidth()); ++x) {
            const RGBQUAD p = a.GetPixelColor(x, y), q = b.GetPixelColor(x, y);
            if (std::memcmp(&p, &q, sizeof p) != 0) {
                return false;
            }
        }
    }
    return true;
}
