#pragma once

// Decodes arbitrary bytes as one image format. A decoded image must lie within the bound,
// the pixel memory counted must never pass it, and a decoded image must survive a PNG round
// trip unchanged.
#include <qmsupport/images/cx_image.h>

#include "images/pixel_memory.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

inline int FuzzImageDecode(const uint8_t* data, size_t size, uint32_t format) {
    using namespace qm::images;
    detail::ResetPeakCountedBytes();
    {
        CxImage image(data, size, format);
        if (detail::PeakCountedBytes() > kMaxPixelBytes + (size_t{16} << 20)) {
            std::abort();
        }
        if (!image.IsValid()) {
            return 0;
        }
        if (!WithinBound(image.GetWidth(), image.GetHeight())) {
            std::abort();
        }
        if (image.GetWidth() * image.GetHeight() <= 4096) {
            CxMemFile file;
            if (!file.Open() || !image.Encode(&file, kFormatPng)) {
                std::abort();
            }
            CxImage back(file.GetBuffer(false), static_cast<size_t>(file.Size()), 0);
            if (back.GetWidth() != image.GetWidth() || back.GetHeight() != image.GetHeight()) {
                std::abort();
            }
            for (long y = 0; y < static_cast<long>(image.GetHeight()); ++y) {
                for (long x = 0; x < static_cast<long>(image.GetWidth()); ++x) {
                    RGBQUAD a = image.GetPixelColor(x, y), b = back.GetPixelColor(x, y);
                    if (std::memcmp(&a, &b, sizeof a) != 0) {
                        std::abort();
                    }
                }
            }
        }
    }
    if (detail::CountedBytes() != 0) {
        std::abort();  // pixel memory leaked
    }
    return 0;
}
