#pragma once

#include <qmsupport/export.h>
#include <qmsupport/images/cx_image.h>

#include <cstdint>

// The raster operations that drawing code needs of images: a white canvas, an image drawn
// onto it as a plain copy, and an area copied out of it. Positions count rows from the top,
// and every canvas stays within the bound of the images layer.
namespace qm::images {

// Makes `canvas` a 24-bit image of that size, all white. False (and an invalid canvas) for a
// size of zero, a negative size or one past the bound.
QMSUPPORT_API bool CreateWhiteCanvas(CxImage& canvas, int64_t width, int64_t height);

// Copies the pixels of `image` onto `canvas` with the image's top-left pixel at (x, y). What
// falls outside the canvas is dropped; any offset, however far out, is allowed.
QMSUPPORT_API void DrawImage(CxImage& canvas, const CxImage& image, int64_t x, int64_t y);

// Makes `area` a new white 24-bit image of width × height holding the pixels of `image` from
// (left, top); what lies outside `image` stays white. False when the canvas cannot be made.
QMSUPPORT_API bool CopyArea(const CxImage& image, int64_t left, int64_t top, int64_t width,
                            int64_t height, CxImage& area);

}  // namespace qm::images
