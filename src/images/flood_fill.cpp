#include <qmsupport/images/flood_fill.h>
#include <qmsupport/images/raster.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace qm::images {

namespace {

constexpr long kLargestSquaredDistance = 3 * 255 * 255;

// The fill's state: the image read, the seed colour, the visited bytes and the pending runs.
class ScanlineFill {
  public:
    ScanlineFill(const CxImage& image, FloodRegion& region, const uint8_t* seedColour, long limit)
        : image_(image),
          region_(region),
          red_(seedColour[0]),
          green_(seedColour[1]),
          blue_(seedColour[2]),
          limit_(limit),
          width_(static_cast<long>(image.GetWidth())),
          height_(static_cast<long>(image.GetHeight())) {}

    void Run(PixelPoint seed) {
        if (!Matches(seed)) {
            return;
        }
        pending_.push_back(seed);
        while (!pending_.empty()) {
            PixelPoint point = pending_.back();
            pending_.pop_back();
            // A run may be pushed from the rows above and below before it is filled.
            if (!Matches(point)) {
                continue;
            }
            FillRun(point);
        }
    }

  private:
    // One row as the fill reads it: the image's pixels and the visited bytes.
    struct Row {
        const uint8_t* rgb;
        uint8_t* visited;
    };

    Row RowAt(long y) {
        return Row{image_.TopRow(y), region_.filled.data() + static_cast<size_t>(y) * width_};
    }

    bool Matches(const Row& row, long x) const {
        if (row.visited[x]) {
            return false;
        }
        const uint8_t* p = row.rgb + x * 3;
        long dr = p[0] - red_, dg = p[1] - green_, db = p[2] - blue_;
        return dr * dr + dg * dg + db * db <= limit_;
    }

    bool Matches(PixelPoint point) { return Matches(RowAt(point.y), point.x); }

    // Fills the run of matching pixels through the point, widens the box to it and pushes one
    // point for each run of matching pixels beside it on the rows above and below.
    void FillRun(PixelPoint point) {
        const long y = point.y;
        const Row row = RowAt(y);
        long first = point.x, last = point.x;
        while (first > 0 && Matches(row, first - 1)) {
            --first;
        }
        while (last + 1 < width_ && Matches(row, last + 1)) {
            ++last;
        }
        std::memset(row.visited + first, 1, static_cast<size_t>(last - first + 1));
        region_.left = std::min(region_.left, first);
        region_.right = std::max(region_.right, last);
        region_.top = std::min(region_.top, y);
        region_.bottom = std::max(region_.bottom, y);
        if (y + 1 < height_) {
            PushRuns(first, last, y + 1);
        }
        if (y > 0) {
            PushRuns(first, last, y - 1);
        }
    }

    void PushRuns(long first, long last, long y) {
        const Row row = RowAt(y);
        for (long x = first; x <= last; ++x) {
            if (!Matches(row, x)) {
                continue;
            }
            pending_.push_back(PixelPoint{x, y});
            while (x + 1 <= last && Matches(row, x + 1)) {
                ++x;
            }
        }
    }

    const CxImage& image_;
    FloodRegion& region_;
    const long red_, green_, blue_;
    const long limit_;
    const long width_, height_;
    std::vector<PixelPoint> pending_;
};

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
    FloodRegion region;
    region.left = region.right = seed.x;
    region.top = region.bottom = seed.y;
    if (!image.IsValid() || seed.x < 0 || seed.y < 0 ||
        seed.x >= static_cast<long>(image.GetWidth()) ||
        seed.y >= static_cast<long>(image.GetHeight())) {
        return region;
    }
    try {
        region.filled.assign(size_t{image.GetWidth()} * image.GetHeight(), 0);
        region.width = image.GetWidth();
        region.height = image.GetHeight();
        region.seedInside = true;
        ScanlineFill fill(image, region, image.TopRow(seed.y) + seed.x * 3,
                          SquaredDistanceLimit(tolerance));
        fill.Run(seed);
    } catch (const std::bad_alloc&) {
        region = FloodRegion();
        region.left = region.right = seed.x;
        region.top = region.bottom = seed.y;
    }
    return region;
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
