#include "legacy/floodfill_region.h"

#include <qmsupport/images/cx_file.h>
#include <qmsupport/images/raster.h>
#include <qmsupport/toolsapi/codecs.h>

#include "legacy/legacy_text.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace qm::legacy {

namespace {

using Self = QMTransformScadaReportTo25;

// A length or offset in pixels, truncated toward zero; false when it is not a finite number
// or lies beyond any canvas.
bool ToPixels(double value, int64_t& pixels) {
    constexpr double kFar = 1e15;
    if (!(value > -kFar && value < kFar)) {
        return false;
    }
    pixels = static_cast<int64_t>(value);
    return true;
}

// The seed coordinate, truncated toward zero; false when it does not fit an int.
bool ToSeed(double value, long& seed) {
    if (!(value > static_cast<double>(std::numeric_limits<int>::min()) - 1.0 &&
          value < static_cast<double>(std::numeric_limits<int>::max()) + 1.0)) {
        return false;
    }
    seed = static_cast<long>(value);
    return true;
}

// The image's offset on a page of `page` pixels where it is drawn `drawn` pixels long: at
// the start (alignment `start`), at the end (`end`), or centred.
int64_t Offset(int64_t page, int64_t drawn, int32_t align, int32_t start, int32_t end) {
    if (align == start) {
        return 0;
    }
    return align == end ? page - drawn : (page - drawn) / 2;
}

}  // namespace

bool RenderBackground(Self::QMControlBackgroundImage& control, PageContext& context) {
    context.background.reset();
    context.backgroundScaleX = 1.0;
    context.backgroundScaleY = 1.0;
    const int64_t pageWidth = context.pageWidthPx, pageHeight = context.pageHeightPx;
    const CxImage* image = control.image.get();
    auto canvas = std::make_unique<CxImage>();
    if (image == nullptr || !image->IsValid() || image->GetWidth() == 0 ||
        image->GetHeight() == 0) {
        if (!qm::images::CreateWhiteCanvas(*canvas, pageWidth, pageHeight)) {
            return false;
        }
        context.background = std::move(canvas);
        return true;
    }
    const ImagePlacement& placement = control.placement;
    const int64_t width = image->GetWidth(), height = image->GetHeight();
    int64_t drawnWidth = pageWidth, drawnHeight = pageHeight;
    if (placement.maintainRealSize) {
        drawnWidth = width;
        drawnHeight = height;
    } else if (placement.maintainAspectRatio) {
        const double scale =
            std::min(static_cast<double>(pageWidth) / static_cast<double>(width),
                     static_cast<double>(pageHeight) / static_cast<double>(height));
        if (!ToPixels(static_cast<double>(width) * scale, drawnWidth) ||
            !ToPixels(static_cast<double>(height) * scale, drawnHeight)) {
            return false;
        }
    }
    int64_t x = Offset(pageWidth, drawnWidth, placement.imageHorizontalAlign, 1, 2);
    int64_t y = Offset(pageHeight, drawnHeight, placement.imageVerticalAlign, 4, 8);
    int64_t canvasWidth = pageWidth, canvasHeight = pageHeight;
    double scaleX = 1.0, scaleY = 1.0;
    if (drawnWidth != width || drawnHeight != height) {
        // The canvas stays at the image's own resolution: offsets and page shrink by the
        // scale instead. An image drawn at no size leaves nothing to render.
        scaleX = static_cast<double>(drawnWidth) / static_cast<double>(width);
        scaleY = static_cast<double>(drawnHeight) / static_cast<double>(height);
        if (!ToPixels(static_cast<double>(x) / scaleX, x) ||
            !ToPixels(static_cast<double>(y) / scaleY, y) ||
            !ToPixels(static_cast<double>(pageWidth) / scaleX, canvasWidth) ||
            !ToPixels(static_cast<double>(pageHeight) / scaleY, canvasHeight)) {
            return false;
        }
    }
    if (!qm::images::CreateWhiteCanvas(*canvas, canvasWidth, canvasHeight)) {
        return false;
    }
    qm::images::DrawImage(*canvas, *image, x, y);
    context.background = std::move(canvas);
    context.backgroundScaleX = scaleX;
    context.backgroundScaleY = scaleY;
    return true;
}

bool FloodRegion(const Self::QMControlFloodfill& floodfill, FloodState& state) {
    if (state.background == nullptr) {
        return false;
    }
    state.region = qm::images::FloodFill(*state.background, state.seed, floodfill.tolerance);
    return state.region.seedInside;
}

void WriteFloodRegion(const Self::QMControlFloodfill& floodfill, XmlDocument::XmlNode* element,
                      const PageContext& context) {
    if (context.background == nullptr) {
        return;
    }
    const double scaleX = context.backgroundScaleX, scaleY = context.backgroundScaleY;
    FloodState state;
    state.background = context.background.get();
    if (!ToSeed(floodfill.hotX * context.xScale * context.pixelsPerMmX / scaleX, state.seed.x) ||
        !ToSeed(floodfill.hotY * context.yScale * context.pixelsPerMmY / scaleY, state.seed.y) ||
        !FloodRegion(floodfill, state)) {
        return;
    }
    const qm::images::FloodRegion& region = state.region;
    const long width = region.right - region.left, height = region.bottom - region.top;
    if (width * scaleX == 0 || height * scaleY == 0) {
        return;
    }
    // The box is inclusive: of its width + 1 by height + 1 pixels, the last column and row
    // fall outside the mask cut from it.
    CxImage full, mask;
    if (!region.DrawMask(full) ||
        !qm::images::CopyArea(full, region.left, region.top, width, height, mask)) {
        return;
    }
    full.Destroy();
    const RGBQUAD white{255, 255, 255, 0};
    mask.AlphaCreate();
    mask.SetTransIndex(mask.GetNearestIndex(white));
    mask.SetTransColor(white);
    if (scaleX != 1.0 || scaleY != 1.0) {
        int64_t newWidth = 0, newHeight = 0;
        if (!ToPixels(static_cast<double>(width) * scaleX, newWidth) ||
            !ToPixels(static_cast<double>(height) * scaleY, newHeight) ||
            newWidth > std::numeric_limits<long>::max() ||
            !mask.Resample(static_cast<long>(newWidth), static_cast<long>(newHeight), 1)) {
            return;
        }
        mask.Threshold(127);
        mask.IncreaseBpp(24);
    }
    CxMemFile file;
    if (!file.Open() || !mask.Encode(&file, qm::images::kFormatPng)) {
        return;
    }
    QMWideString base64;
    EncodeBase64(base64, file.GetBuffer(false), static_cast<size_t>(file.Size()));
    element->SetValue(L"x", Format2(region.left * scaleX / context.pixelsPerMmX).c_str());
    element->SetValue(L"y", Format2(region.top * scaleY / context.pixelsPerMmY).c_str());
    element->SetValue(L"width", Format2(width * scaleX / context.pixelsPerMmX).c_str());
    element->SetValue(L"height", Format2(height * scaleY / context.pixelsPerMmY).c_str());
    element->SetValue(L"hotX", Format2(state.seed.x * scaleX / context.pixelsPerMmX).c_str());
    element->SetValue(L"hotY", Format2(state.seed.y * scaleY / context.pixelsPerMmY).c_str());
    if (XmlDocument::XmlNode* image = element->NewChild(L"image")) {
        image->SetValue(L"image64", base64.c_str());
    }
}

}  // namespace qm::legacy
