#pragma once

#include <qmsupport/export.h>
#include <qmsupport/images/bitmap.h>
#include <qmsupport/images/cx_image.h>
#include <qmsupport/toolsapi/basic_string.h>

// Images as base64 text in XML and in the image files of the images directory. Colours are
// Windows colour values: red in the low byte, then green, then blue.

// Encodes the image as PNG in base64, with `transparent` marked as the transparent colour;
// the image gets an alpha channel and that transparency. On failure `out` stays as it was.
QMSUPPORT_API bool EncodedImage(QMNarrowString& out, CxImage& image, unsigned long transparent);
QMSUPPORT_API bool EncodedImage(QMWideString& out, CxImage& image, unsigned long transparent);
// The same for the bitmap resource with that id; false, with `out` as it was, when the
// resource chain has no such bitmap or it does not decode.
QMSUPPORT_API bool EncodedBmpImage(QMNarrowString& out, int id, unsigned long transparent);
QMSUPPORT_API bool EncodedBmpImage(QMWideString& out, int id, unsigned long transparent);
// Writes ImagesPath() + name + ".img" (the image as PNG) and ".limg" (the small image as
// JPEG, at most 64 on its shorter side), each as base64 text, atomically. The image is left
// at 24 bits a pixel. False, writing nothing, when the image cannot be encoded or the ".img"
// cannot be written; a ".limg" that cannot be written is skipped.
QMSUPPORT_API bool Image2XMLFile(const wchar_t* name, CxImage* image);
// Decodes base64 text into the bitmap. Empty text gives false and leaves the bitmap alone;
// otherwise the old bitmap goes first, and text that is not base64 gives false. Bytes that
// are no image still give true, with an empty bitmap. The first form also returns the colour
// of the top-left pixel.
QMSUPPORT_API bool DecodeBase64Image(const QMWideString& text, qm::images::Bitmap& bitmap,
                                     unsigned long& corner);
QMSUPPORT_API bool DecodeBase64Image(const QMWideString& text, qm::images::Bitmap& bitmap);
// The icon resource with that id (icons/<id>.png) as a bitmap; empty when it cannot be read.
QMSUPPORT_API qm::images::Bitmap Icon2Bitmap(unsigned int id);
