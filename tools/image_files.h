#pragma once

// Image files as the commands read and write them.

#include <qmsupport/images/cx_image.h>

#include <string>

// Reads an image file (any format the library decodes), or the base64 text of an .img or
// .limg file, in which case `fromText` is set.
bool ReadImageFile(const std::string& path, CxImage& image, bool& fromText);

// Writes the image as a PNG file, atomically.
bool WritePngFile(const std::string& path, CxImage& image);
