#pragma once

#include <qmsupport/export.h>
#include <qmsupport/images/cx_image.h>

#include <cstdint>
#include <vector>

namespace qm::images {

// A pixel position, rows counted from the top.
struct PixelPoint {
    long x = 0;
    long y = 0;
};

// The area of similar colour around a seed pixel.
struct FloodRegion {
    // False when the seed lies outside the image (or memory ran out): nothing was filled.
    bool seedInside = false;
    uint32_t width = 0;  // the image's size
    uint32_t height = 0;
    // One byte a pixel, rows from the top: 1 where the region was filled, else 0.
    std::vector<uint8_t> filled;
    // The bounding box of the filled pixels, inclusive; the seed point when nothing was filled.
    long left = 0;
    long top = 0;
    long right = 0;
    long bottom = 0;

    bool Filled(long x, long y) const {
        return x >= 0 && y >= 0 && x < static_cast<long>(width) && y < static_cast<long>(height) &&
               filled[static_cast<size_t>(y) * width + static_cast<size_t>(x)] != 0;
    }
    // Makes `mask` a 24-bit image of the image's size: black where filled, white elsewhere.
    bool DrawMask(CxImage& mask) const;
};

// The largest squared colour distance (an integer) whose square root is at most the
// tolerance: -1 for a negative or NaN tolerance (nothing matches), 195075 (3 × 255²) for
// one of 442 or more (everything matches).
QMSUPPORT_API long SquaredDistanceLimit(double tolerance);

// Grows the 4-connected region of pixels whose Euclidean colour distance to the seed's colour
// is at most `tolerance`, from the seed. A negative or NaN tolerance fills nothing, not even
// the seed. Runs of pixels are filled a row at a time; pending runs are kept on a growing
// stack, never in recursion.
QMSUPPORT_API FloodRegion FloodFill(const CxImage& image, PixelPoint seed, double tolerance);

}  // namespace qm::images
