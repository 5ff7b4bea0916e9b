#include <qmsupport/images/raster.h>

#include <algorithm>
#include <cstring>

namespace qm::images {

bool CreateWhiteCanvas(CxImage& canvas, int64_t width, int64_t height) {
    if (width <= 0 || height <= 0 ||
        !WithinBound(static_cast<uint64_t>(width), static_cast<uint64_t>(height)) ||
        !canvas.Create(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 24)) {
        canvas.Destroy();
        return false;
    }
    std::memset(canvas.TopRow(0), 0xFF, size_t{canvas.GetWidth()} * canvas.GetHeight() * 3);
    return true;
}

void DrawImage(CxImage& canvas, const CxImage& image, int64_t x, int64_t y) {
    if (!canvas.IsValid() || !image.IsValid()) {
        return;
    }
    const int64_t canvasWidth = canvas.GetWidth(), canvasHeight = canvas.GetHeight();
    const int64_t width = image.GetWidth(), height = image.GetHeight();
    // Both sizes are within the bound, so these sums cannot overflow once the offsets are
    // known to lie within a side's length of the canvas.
    if (x >= canvasWidth || y >= canvasHeight || x <= -width || y <= -height) {
        return;
    }
    const int64_t fromX = std::max<int64_t>(0, -x), toX = std::min(width, canvasWidth - x);
    const int64_t fromY = std::max<int64_t>(0, -y), toY = std::min(height, canvasHeight - y);
    const size_t bytes = static_cast<size_t>(toX - fromX) * 3;
    for (int64_t row = fromY; row < toY; ++row) {
        std::memcpy(canvas.TopRow(static_cast<long>(y + row)) + (x + fromX) * 3,
                    image.TopRow(static_cast<long>(row)) + fromX * 3, bytes);
    }
}

bool CopyArea(const CxImage& image, int64_t left, int64_t top, int64_t width, int64_t height,
              CxImage& area) {
    if (!CreateWhiteCanvas(area, width, height)) {
        return false;
    }
    // Guards against negating the most negative offset; such an area misses the image anyway.
    if (left > INT64_MIN && top > INT64_MIN) {
        DrawImage(area, image, -left, -top);
    }
    return true;
}

}  // namespace qm::images
