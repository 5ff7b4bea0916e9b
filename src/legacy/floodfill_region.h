#pragma once

// The regions of a page's floodfills: the page background rendered once for all of them, and
// the area of similar colour around each one's hot spot.

#include <qmsupport/images/flood_fill.h>
#include <qmsupport/legacy/transform_scada_report_to25.h>

#include "legacy/scada_report_controls.h"

namespace qm::legacy {

// Renders the page background from the background control into the context: the image at
// its own resolution, placed as the page draws it, on a white canvas that covers the page,
// with the scales from canvas pixels to page pixels. Without an image (or with one of zero
// width or height) the canvas is the page, white. False when the canvas would pass the
// images' pixel bound (or has no size): the context then holds no background.
bool RenderBackground(QMTransformScadaReportTo25::QMControlBackgroundImage& control,
                      PageContext& context);

// What one floodfill fills: the rendered background, the seed pixel on it, and the region.
struct FloodState {
    const CxImage* background = nullptr;
    qm::images::PixelPoint seed;
    qm::images::FloodRegion region;
};

// Fills the region of the floodfill's tolerance around the seed. False when the seed lies
// outside the background.
bool FloodRegion(const QMTransformScadaReportTo25::QMControlFloodfill& floodfill,
                 FloodState& state);

// Steps of the floodfill's Write after its colours: the region's mask, cut to its box and
// brought to page pixels, as a PNG in base64 in a child "image", and the box and hot spot in
// millimetres on the element. Without a background, with a seed outside it, a region of no
// width or height, or a mask that cannot be encoded, the element is left as it is.
void WriteFloodRegion(const QMTransformScadaReportTo25::QMControlFloodfill& floodfill,
                      XmlDocument::XmlNode* element, const PageContext& context);

}  // namespace qm::legacy
