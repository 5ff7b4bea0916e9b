#pragma once

#include <qmsupport/export.h>

namespace qm::platform {

// The figures that drawing code asks of the display. Defaults: 1920 by 1080 pixels over 508 by
// 285.75 mm at 96 logical pixels per inch; QMSUPPORT_DISPLAY ("1920x1080@381x214mm/96")
// overrides them, and a host can set them.
struct QMSUPPORT_API DisplayMetrics {
    int widthPixels = 1920;
    int heightPixels = 1080;
    double widthMillimetres = 508.0;
    double heightMillimetres = 285.75;
    int logicalPixelsPerInch = 96;

    static const DisplayMetrics& Current();
    static void Set(const DisplayMetrics& metrics);
    // Parses the QMSUPPORT_DISPLAY form; false when the text does not fit it.
    static bool Parse(const char* text, DisplayMetrics& out);
};

}  // namespace qm::platform
