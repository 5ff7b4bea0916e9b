#include <qmsupport/images/flood_fill.h>
#include <qmsupport/images/raster.h>

#include "toolsapi/no_throw.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qm::images {

namespace {

constexpr long kLargestSquaredDistance = 3 * 255 * 255;
constexpr uint64_t kAll = ~uint64_t{0};

// A pending run is one of its pixels, packed with the index of its word in the fill's grid as
// index << 28 | row << 14 | column. One row down is one word on in the grid.
constexpr int kColumnBits = 14;
constexpr uint64_t kColumnMask = (uint64_t{1} << kColumnBits) - 1;
constexpr int kIndexShift = 2 * kColumnBits;
constexpr uint64_t kRowDown = (uint64_t{1} << kIndexShift) | (uint64_t{1} << kColumnBits);
static_assert(kMaxSide <= (uint32_t{1} << kColumnBits));

// Byte i of the result is 1 when bit i of `bits` is set, else 0, for the lowest 8 bits; byte i
// is the i-th in memory on this little-endian machine.
static_assert(std::endian::native == std::endian::little);
uint64_t SpreadBits(uint64_t bits) {
    const uint64_t picked = ((bits & 0xFF) * 0x0101010101010101) & 0x8040201008040201;
    return ((picked + 0x7F7F7F7F7F7F7F7F) >> 7) & 0x0101010101010101;
}

// Bit i of the result is bit 3i of `bits`, for the 16 bits 0, 3, ..., 45.
uint64_t EveryThirdBit(uint64_t bits) {
    bits &= 0x1249249249249249;
    bits = (bits | bits >> 2) & 0x10C30C30C30C30C3;
    bits = (bits | bits >> 4) & 0x100F00F00F00F00F;
    bits = (bits | bits >> 8) & 0x001F0000FF0000FF;
    bits = (bits | bits >> 16) & 0x001F00000000FFFF;
    return (bits | bits >> 32) & 0xFFFF;
}

// Which pixels lie within the tolerance of the seed's colour: an integer squared distance
// against the limit. Whole blocks of 64 pixels are first sorted out a channel at a time, 16
// pixels to a vector: a pixel with a channel farther than the limit's square root from the
// seed's cannot match, and one with every channel within the square root of a third of the
// limit must. Only the pixels between are measured one by one.
class ColourTest {
  public:
    ColourTest(const uint8_t* seed, long limit)
        : seed_{seed[0], seed[1], seed[2]}, limit_(static_cast<int32_t>(limit)) {
        while ((outer_ + 1) * (outer_ + 1) <= limit_ && outer_ < 255) {
            ++outer_;
        }
        while (3 * (inner_ + 1) * (inner_ + 1) <= limit_ && inner_ < 255) {
            ++inner_;
        }
#if defined(__SSE2__)
        // Each channel's bounds, repeated over the 48 bytes of 16 pixels.
        for (const auto& [reach, bounds] :
             {std::pair{outer_, &outerBounds_}, {inner_, &innerBounds_}}) {
            alignas(16) uint8_t low[48], high[48];
            for (int i = 0; i < 48; ++i) {
                low[i] = static_cast<uint8_t>(std::max(0, seed[i % 3] - reach));
                high[i] = static_cast<uint8_t>(std::min(255, seed[i % 3] + reach));
            }
            for (int k = 0; k < 3; ++k) {
                bounds->low[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(low + 16 * k));
                bounds->high[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(high + 16 * k));
            }
        }
#endif
    }

    // Bit i is set when pixel i of the `count` (at most 64) from `p` matches.
    uint64_t Block(const uint8_t* p, long count) const {
#if defined(__SSE2__)
        if (count == 64) {
            uint64_t outer = 0, inner = 0;
            for (int group = 0; group < 4; ++group) {
                outer |= Within16(p + 48 * group, outerBounds_) << (16 * group);
            }
            if (inner_ == outer_) {
                return outer;
            }
            for (int group = 0; group < 4; ++group) {
                inner |= Within16(p + 48 * group, innerBounds_) << (16 * group);
            }
            for (uint64_t between = outer & ~inner; between != 0; between &= between - 1) {
                const int i = std::countr_zero(between);
                outer &= ~(uint64_t{!Matches(p + 3 * i)} << i);
            }
            return outer;
        }
#endif
        uint64_t bits = 0;
        for (long i = 0; i < count; ++i) {
            bits |= uint64_t{Matches(p + 3 * i)} << i;
        }
        return bits;
    }

  private:
    bool Matches(const uint8_t* p) const {
        const int32_t d0 = p[0] - seed_[0], d1 = p[1] - seed_[1], d2 = p[2] - seed_[2];
        return d0 * d0 + d1 * d1 + d2 * d2 <= limit_;
    }

#if defined(__SSE2__)
    // The bytes of 16 pixels that lie within `reach` of the seed's channels.
    struct Bounds {
        __m128i low[3];
        __m128i high[3];
    };

    // Bit i set when every channel of pixel i of the 16 from `p` lies within the bounds.
    static uint64_t Within16(const uint8_t* p, const Bounds& bounds) {
        uint64_t bytes = 0;
        for (int k = 0; k < 3; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
            const __m128i within =
                _mm_cmpeq_epi8(_mm_min_epu8(_mm_max_epu8(v, bounds.low[k]), bounds.high[k]), v);
            bytes |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(within)))
                     << (16 * k);
        }
        return EveryThirdBit(bytes & bytes >> 1 & bytes >> 2);
    }

    Bounds outerBounds_;
    Bounds innerBounds_;
#endif
    int32_t seed_[3];
    int32_t limit_;
    int outer_ = 0;  // the largest channel difference a match can have
    int inner_ = 0;  // a difference every channel of a pixel may have and still match
};

// The pixels of an image as bits, 64 to a word, rows from the top: "matching" bits where a
// pixel's colour is within the tolerance, and "waiting" bits where it matches and is not
// filled yet. Only the waiting bits are used while the fill runs; the filled pixels are the
// matching ones no longer waiting. The words are stored a column of words at a time, so that
// a word and the words above and below it are neighbours in memory. An empty row lies above
// and below the image, and the bits past the last column stay clear, so runs end at every
// edge.
class FillGrid {
  public:
    FillGrid(const CxImage& image, const uint8_t* seed, long limit)
        : image_(image),
          width_(image.GetWidth()),
          wordsPerRow_((width_ + 63) / 64),
          columnLength_(image.GetHeight() + 2),
          test_(seed, limit),
          waiting_(static_cast<size_t>(wordsPerRow_) * static_cast<size_t>(columnLength_)),
          matching_(waiting_.size()) {}

    long WordsPerRow() const { return wordsPerRow_; }
    // The waiting words, indexed by Index(); the word below another is the next one. Rows
    // -1 and height are the empty rows.
    uint64_t* Waiting() { return waiting_.data(); }
    size_t Index(long y, long word) const {
        return static_cast<size_t>(word * columnLength_ + y + 1);
    }
    uint64_t& Waiting(long y, long word) { return waiting_[Index(y, word)]; }
    uint64_t Waiting(long y, long word) const { return waiting_[Index(y, word)]; }
    uint64_t Filled(long y, long word) const {
        return matching_[Index(y, word)] & ~waiting_[Index(y, word)];
    }

    // Works out the matching and waiting bits of row y; nothing for the empty rows.
    [[gnu::noinline]] void Classify(long y) {
        const uint8_t* pixels = image_.TopRow(y);
        if (pixels == nullptr) {
            return;
        }
        for (long x0 = 0; x0 < width_; x0 += 64) {
            const uint64_t bits = test_.Block(pixels + x0 * 3, std::min(64L, width_ - x0));
            matching_[Index(y, x0 >> 6)] = waiting_[Index(y, x0 >> 6)] = bits;
        }
    }

  private:
    const CxImage& image_;
    long width_;
    long wordsPerRow_;
    long columnLength_;
    ColourTest test_;
    std::vector<uint64_t> waiting_;
    std::vector<uint64_t> matching_;
};

// The first column at or after x on row y whose bit is not waiting; the width at the most.
long RunEnd(const FillGrid& grid, long y, long x) {
    long word = x >> 6;
    uint64_t clear = ~grid.Waiting(y, word) & (kAll << (x & 63));
    while (clear == 0) {
        if (++word == grid.WordsPerRow()) {
            return word << 6;
        }
        clear = ~grid.Waiting(y, word);
    }
    return (word << 6) + std::countr_zero(clear);
}

// The last column before x on row y whose bit is not waiting; -1 when there is none.
long RunStartBefore(const FillGrid& grid, long y, long x) {
    long word = x >> 6;
    uint64_t clear = ~grid.Waiting(y, word) & ((uint64_t{1} << (x & 63)) - 1);
    while (clear == 0) {
        if (word == 0) {
            return -1;
        }
        clear = ~grid.Waiting(y, --word);
    }
    return (word << 6) + 63 - std::countl_zero(clear);
}

// Pushes a pending run for each set bit of `starts`, at column base + the bit's position,
// onto the stack whose top is `top`; returns the new top. The first store is made whatever
// the bits: runs beside a run are mostly none or one.
uint64_t* PushRuns(uint64_t* top, uint64_t starts, uint64_t base) {
    *top = base | static_cast<uint64_t>(std::countr_zero(starts));
    top += starts != 0;
    starts &= starts - 1;
    while (starts != 0) {
        *top++ = base | static_cast<uint64_t>(std::countr_zero(starts));
        starts &= starts - 1;
    }
    return top;
}

// The scanline fill. Each popped pixel fills the run of waiting pixels through it and pushes
// one pixel of each run of waiting pixels that touches it on the rows above and below, onto a
// stack that always has room for the pushes of two words.
void FillRuns(FillGrid& grid, long seedX, long seedY) {
    uint64_t* const waiting = grid.Waiting();
    auto pack = [&](long y, long x) {
        return static_cast<uint64_t>(grid.Index(y, x >> 6)) << kIndexShift |
               static_cast<uint64_t>(y) << kColumnBits | static_cast<uint64_t>(x);
    };
    // A row's bits are worked out when the fill first comes next to it. The fill only comes
    // next to rows beside rows it filled, so the rows worked out are one band round the seed's.
    long bandTop = seedY, bandBottom = seedY;
    grid.Classify(seedY);
    std::vector<uint64_t> stack(1024);
    uint64_t* top = stack.data();
    *top++ = pack(seedY, seedX);
    // Fills `span` of the word and pushes the runs beside it; `here` is the word's first
    // pixel, packed. A run beside starts where a waiting bit has no waiting bit to its left
    // within the span; the carries hold the bits beside the last column of the word before,
    // for a run over several words.
    auto fillWord = [&](uint64_t here, uint64_t span, uint64_t & carryAbove, uint64_t & carryBelow)
        __attribute__((always_inline)) {
        if (static_cast<size_t>(stack.data() + stack.size() - top) < 130) {
            const size_t used = static_cast<size_t>(top - stack.data());
            stack.resize(stack.size() * 2);
            top = stack.data() + used;
        }
        uint64_t* cell = waiting + (here >> kIndexShift);
        *cell &= ~span;
        const uint64_t up = cell[-1] & span, down = cell[1] & span;
        top = PushRuns(top, up & ~(up << 1 | carryAbove), here - kRowDown);
        top = PushRuns(top, down & ~(down << 1 | carryBelow), here + kRowDown);
        carryAbove = up >> 63;
        carryBelow = down >> 63;
    };
    auto fillRun = [&](uint64_t point) __attribute__((always_inline)) {
        const uint64_t bits = waiting[point >> kIndexShift], at = uint64_t{1} << (point & 63);
        // A run can be pushed from both sides before it is filled.
        if ((bits & at) == 0) {
            return;
        }
        const long y = static_cast<long>((point >> kColumnBits) & kColumnMask);
        const long x = static_cast<long>(point & kColumnMask);
        if (y - 1 < bandTop) {
            grid.Classify(--bandTop);
        }
        if (y + 1 > bandBottom) {
            grid.Classify(++bandBottom);
        }
        uint64_t carryAbove = 0, carryBelow = 0;
        // Most runs lie within one word, where the clear bits round x bound them.
        const uint64_t clearAbove = ~bits & -at, clearBelow = ~bits & (at - 1);
        if (clearAbove != 0 && clearBelow != 0) {
            const uint64_t span =
                (clearAbove & -clearAbove) - (uint64_t{2} << (63 - std::countl_zero(clearBelow)));
            fillWord(point & ~uint64_t{63}, span, carryAbove, carryBelow);
            return;
        }
        const long first = RunStartBefore(grid, y, x) + 1, last = RunEnd(grid, y, x) - 1;
        for (long word = first >> 6; word <= last >> 6; ++word) {
            uint64_t span = kAll;
            if (word == first >> 6) {
                span &= kAll << (first & 63);
            }
            if (word == last >> 6) {
                span &= kAll >> (63 - (last & 63));
            }
            fillWord(pack(y, word << 6), span, carryAbove, carryBelow);
        }
    };
    // Two runs are taken at a time: they are mostly far apart, so the work on one overlaps
    // the work on the other.
    while (top != stack.data()) {
        const uint64_t point = *--top;
        if (top != stack.data()) {
            fillRun(*--top);
        }
        fillRun(point);
    }
}

// Copies the filled bits into the region's bytes and takes their bounding box.
void CollectRegion(const FillGrid& grid, FloodRegion& region) {
    const long width = region.width, height = region.height;
    long left = width, top = height, right = -1, bottom = -1;
    for (long y = 0; y < height; ++y) {
        uint8_t* out = region.filled.data() + static_cast<size_t>(y) * width;
        for (long word = 0; word < grid.WordsPerRow(); ++word) {
            const uint64_t bits = grid.Filled(y, word);
            if (bits == 0) {
                continue;
            }
            const long x0 = word << 6;
            left = std::min(left, x0 + std::countr_zero(bits));
            right = std::max(right, x0 + 63 - std::countl_zero(bits));
            top = std::min(top, y);
            bottom = y;
            uint8_t bytes[64];
            for (int i = 0; i < 8; ++i) {
                const uint64_t eight = SpreadBits(bits >> (i * 8));
                std::memcpy(bytes + i * 8, &eight, 8);
            }
            std::memcpy(out + x0, bytes, static_cast<size_t>(std::min(64L, width - x0)));
        }
    }
    if (right >= 0) {
        region.left = left;
        region.top = top;
        region.right = right;
        region.bottom = bottom;
    }
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
        FillGrid grid(image, image.TopRow(seed.y) + seed.x * 3, limit);
        FillRuns(grid, seed.x, seed.y);
        CollectRegion(grid, region);
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
