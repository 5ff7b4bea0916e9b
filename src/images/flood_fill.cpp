#include <qmsupport/images/flood_fill.h>
#include <qmsupport/images/raster.h>

#include "toolsapi/no_throw.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace qm::images {

namespace {

constexpr long kLargestSquaredDistance = 3 * 255 * 255;

// One bit a pixel while the fill runs: set while the pixel matches the seed's colour and is
// not filled yet. The bits past the last column stay clear, so runs end at the image's edge.
class WaitingBits {
  public:
    WaitingBits(long width, long height)
        : wordsPerRow_((width + 63) / 64), bits_(static_cast<size_t>(wordsPerRow_) * height) {}

    uint64_t* Row(long y) { return bits_.data() + static_cast<size_t>(y) * wordsPerRow_; }

    static bool Test(const uint64_t* row, long x) { return (row[x >> 6] >> (x & 63)) & 1; }

    // The first position in [x, end) whose bit is set (or clear, with `clear`); else end.
    static long Next(const uint64_t* row, long x, long end, bool clear) {
        if (x >= end) {
            return end;
        }
        const uint64_t flip = clear ? ~uint64_t{0} : 0;
        long word = x >> 6;
        uint64_t bits = (row[word] ^ flip) & (~uint64_t{0} << (x & 63));
        while (bits == 0) {
            if ((++word << 6) >= end) {
                return end;
            }
            bits = row[word] ^ flip;
        }
        return std::min(end, (word << 6) + std::countr_zero(bits));
    }

    // The last position at or before x whose bit is clear; -1 when there is none.
    static long PreviousClear(const uint64_t* row, long x) {
        long word = x >> 6;
        uint64_t bits = ~row[word] & (~uint64_t{0} >> (63 - (x & 63)));
        while (bits == 0) {
            if (word == 0) {
                return -1;
            }
            bits = ~row[--word];
        }
        return (word << 6) + 63 - std::countl_zero(bits);
    }

    static void Clear(uint64_t* row, long first, long last) {
        for (long word = first >> 6; word <= last >> 6; ++word) {
            uint64_t mask = ~uint64_t{0};
            if (word == first >> 6) {
                mask &= ~uint64_t{0} << (first & 63);
            }
            if (word == last >> 6) {
                mask &= ~uint64_t{0} >> (63 - (last & 63));
            }
            row[word] &= ~mask;
        }
    }

  private:
    long wordsPerRow_;
    std::vector<uint64_t> bits_;
};

// Sets the bit of every pixel whose squared colour distance to the seed's is at most the limit.
void ClassifyPixels(const CxImage& image, const uint8_t* seed, long limit, WaitingBits& waiting) {
    const long width = image.GetWidth(), height = image.GetHeight();
    // The squared difference of each channel value from the seed's, looked up.
    int32_t squares[3][256];
    for (int c = 0; c < 3; ++c) {
        for (int v = 0; v < 256; ++v) {
            squares[c][v] = (v - seed[c]) * (v - seed[c]);
        }
    }
    const int32_t bound = static_cast<int32_t>(limit);
    for (long y = 0; y < height; ++y) {
        const uint8_t* p = image.TopRow(y);
        uint64_t* out = waiting.Row(y);
        for (long x0 = 0; x0 < width; x0 += 64) {
            const long count = std::min(64L, width - x0);
            uint64_t word = 0;
            for (long i = 0; i < count; ++i, p += 3) {
                const int32_t distance = squares[0][p[0]] + squares[1][p[1]] + squares[2][p[2]];
                word |= uint64_t{distance <= bound} << i;
            }
            out[x0 >> 6] = word;
        }
    }
}

// The scanline fill. Each popped point fills the run of waiting pixels through it, and pushes
// one point for each run of waiting pixels beside that run on the rows above and below.
void FillRuns(FloodRegion& region, WaitingBits& waiting, PixelPoint seed) {
    const long width = region.width, height = region.height;
    long left = seed.x, top = seed.y, right = seed.x, bottom = seed.y;
    std::vector<std::pair<int32_t, int32_t>> pending;
    pending.emplace_back(static_cast<int32_t>(seed.x), static_cast<int32_t>(seed.y));
    while (!pending.empty()) {
        const auto [x, y] = pending.back();
        pending.pop_back();
        uint64_t* row = waiting.Row(y);
        // A run can be pushed from the rows above and below before it is filled.
        if (!WaitingBits::Test(row, x)) {
            continue;
        }
        const long first = WaitingBits::PreviousClear(row, x) + 1;
        const long last = WaitingBits::Next(row, x, width, true) - 1;
        WaitingBits::Clear(row, first, last);
        std::memset(region.filled.data() + static_cast<size_t>(y) * width + first, 1,
                    static_cast<size_t>(last - first + 1));
        left = std::min(left, first);
        right = std::max(right, last);
        top = std::min<long>(top, y);
        bottom = std::max<long>(bottom, y);
        for (const long next : {y + 1, y - 1}) {
            if (next < 0 || next >= height) {
                continue;
            }
            const uint64_t* beside = waiting.Row(next);
            for (long at = WaitingBits::Next(beside, first, last + 1, false); at <= last;
                 at = WaitingBits::Next(beside, WaitingBits::Next(beside, at, last + 1, true),
                                        last + 1, false)) {
                pending.emplace_back(static_cast<int32_t>(at), static_cast<int32_t>(next));
            }
        }
    }
    region.left = left;
    region.top = top;
    region.right = right;
    region.bottom = bottom;
}

}  // namespace

long SquaredDistanceLimit(double tolerance) {
    if (!(tolerance >= 0)) {
        return -1;
    }
    if (tolerance >= std::sqrt(static_cast<double>(kLargestSquaredDistance))) {
        return kLargestSquaredDistance;
    }
    // Start from the square and correct it by the very test a pixel-by-pixel fill makes, the
    // square root of the integer distance against the tolerance.
    long limit = static_cast<long>(tolerance * tolerance);
    while (limit < kLargestSquaredDistance &&
           std::sqrt(static_cast<double>(limit + 1)) <= tolerance) {
        ++limit;
    }
    while (limit >= 0 && std::sqrt(static_cast<double>(limit)) > tolerance) {
        --limit;
    }
    return limit;
}

FloodRegion FloodFill(const CxImage& image, PixelPoint seed, double tolerance) {
    // Nothing filled: the box is the seed point.
    FloodRegion region;
    region.left = region.right = seed.x;
    region.top = region.bottom = seed.y;
    if (!image.IsValid() || seed.x < 0 || seed.y < 0 ||
        seed.x >= static_cast<long>(image.GetWidth()) ||
        seed.y >= static_cast<long>(image.GetHeight())) {
        return region;
    }
    const FloodRegion unfilled = region;
    return qm::detail::NoThrow(unfilled, [&] {
        region.filled.assign(size_t{image.GetWidth()} * image.GetHeight(), 0);
        region.width = image.GetWidth();
        region.height = image.GetHeight();
        region.seedInside = true;
        const long limit = SquaredDistanceLimit(tolerance);
        if (limit < 0) {
            return std::move(region);  // nothing matches, not even the seed
        }
        WaitingBits waiting(region.width, region.height);
        ClassifyPixels(image, image.TopRow(seed.y) + seed.x * 3, limit, waiting);
        FillRuns(region, waiting, seed);
        return std::move(region);
    });
}

bool FloodRegion::DrawMask(CxImage& mask) const {
    if (!CreateWhiteCanvas(mask, width, height)) {
        return false;
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* visited = filled.data() + size_t{y} * width;
        uint8_t* row = mask.TopRow(y);
        for (uint32_t x = 0; x < width; ++x) {
            if (visited[x]) {
                std::memset(row + x * 3, 0, 3);
            }
        }
    }
    return true;
}

}  // namespace qm::images
