// qmsupport floodfill-preview: shows the area a floodfill covers, as a picture of the image
// with the region tinted, its bounding box outlined and the seed marked.

#include "command.h"
#include "image_files.h"
#include "options.h"

#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/flood_fill.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using qm::images::FloodRegion;
using qm::images::PixelPoint;

constexpr const char* kUsage =
    "usage: qmsupport floodfill-preview IMAGE --seed X,Y [--tolerance T] -o OUT.png\n"
    "\n"
    "Fills the area of similar colour around the seed pixel of IMAGE, as the migration of a\n"
    "floodfill control does, and writes OUT.png: the image with the filled area tinted\n"
    "magenta, its bounding box outlined in blue just outside it, and the seed marked by a\n"
    "red cross. It prints the number of pixels filled and the box. IMAGE is any image file\n"
    "the library reads, or an .img file of the images folder.\n"
    "\n"
    "  --seed X,Y     the seed pixel, counted from the top-left corner (0,0)\n"
    "  --tolerance T  how far a colour may lie from the seed's colour and still be filled:\n"
    "                 the distance of the red, green and blue values (0 to 255) as a point\n"
    "                 in space; 0 (the default) fills the seed's exact colour only\n"
    "  -o OUT.png     the picture to write\n"
    "\n"
    "Exit status: 0 written; 1 the image cannot be read, the seed lies outside it, or the\n"
    "picture cannot be written; 2 usage error.\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "qmsupport floodfill-preview: %s\n", message.c_str());
    return kExitFailure;
}

bool ParseLong(const std::string& text, long& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool ParseSeed(const std::string& text, PixelPoint& seed) {
    const size_t comma = text.find(',');
    return comma != std::string::npos && ParseLong(text.substr(0, comma), seed.x) &&
           ParseLong(text.substr(comma + 1), seed.y);
}

bool ParseTolerance(const std::string& text, double& tolerance) {
    char* end = nullptr;
    tolerance = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

struct Colour {
    uint8_t red, green, blue;
};
constexpr Colour kTint{255, 0, 255}, kOutline{0, 96, 255}, kSeedMark{255, 0, 0};

void Paint(CxImage& picture, long x, long y, Colour colour) {
    uint8_t* row = picture.TopRow(y);
    if (row != nullptr && x >= 0 && x < static_cast<long>(picture.GetWidth())) {
        row[x * 3] = colour.red;
        row[x * 3 + 1] = colour.green;
        row[x * 3 + 2] = colour.blue;
    }
}

// Blends every filled pixel half and half with the tint.
void TintRegion(CxImage& picture, const FloodRegion& region, Colour tint) {
    for (long y = region.top; y <= region.bottom; ++y) {
        uint8_t* row = picture.TopRow(y);
        for (long x = region.left; x <= region.right; ++x) {
            if (region.Filled(x, y)) {
                uint8_t* p = row + x * 3;
                p[0] = static_cast<uint8_t>((p[0] + tint.red) / 2);
                p[1] = static_cast<uint8_t>((p[1] + tint.green) / 2);
                p[2] = static_cast<uint8_t>((p[2] + tint.blue) / 2);
            }
        }
    }
}

// The edges of the rectangle from (left, top) to (right, bottom), inclusive, clipped.
void Outline(CxImage& picture, long left, long top, long right, long bottom, Colour colour) {
    for (long x = left; x <= right; ++x) {
        Paint(picture, x, top, colour);
        Paint(picture, x, bottom, colour);
    }
    for (long y = top; y <= bottom; ++y) {
        Paint(picture, left, y, colour);
        Paint(picture, right, y, colour);
    }
}

void MarkSeed(CxImage& picture, PixelPoint seed, Colour colour) {
    constexpr long kArm = 5;
    for (long d = -kArm; d <= kArm; ++d) {
        Paint(picture, seed.x + d, seed.y, colour);
        Paint(picture, seed.x, seed.y + d, colour);
    }
}

int PreviewImage(const std::string& path, PixelPoint seed, double tolerance,
                 const std::string& output) {
    CxImage picture;
    bool fromText = false;
    if (!ReadImageFile(path, picture, fromText)) {
        return Fail("'" + path + "' is no image this program can read");
    }
    const FloodRegion region = qm::images::FloodFill(picture, seed, tolerance);
    if (!region.seedInside) {
        return Fail("the seed " + std::to_string(seed.x) + "," + std::to_string(seed.y) +
                    " lies outside the " + std::to_string(picture.GetWidth()) + "x" +
                    std::to_string(picture.GetHeight()) + " image");
    }
    picture.IncreaseBpp(24);
    picture.AlphaDelete();
    TintRegion(picture, region, kTint);
    Outline(picture, region.left - 1, region.top - 1, region.right + 1, region.bottom + 1,
            kOutline);
    MarkSeed(picture, seed, kSeedMark);
    if (!WritePngFile(output, picture)) {
        return Fail("cannot write '" + output + "'");
    }
    long count = 0;
    for (uint8_t filled : region.filled) {
        count += filled;
    }
    std::printf("filled %ld pixels; box %ld,%ld to %ld,%ld (%ldx%ld)\n", count, region.left,
                region.top, region.right, region.bottom, region.right - region.left + 1,
                region.bottom - region.top + 1);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

int Run(const std::vector<std::string>& args) {
    std::optional<std::string> seedText, toleranceText, output;
    OptionParser parser("floodfill-preview", kUsage);
    parser.Value("--seed", "X,Y", seedText)
        .Value("--tolerance", "a number", toleranceText)
        .Value("-o", "a file name", output);
    std::vector<std::string> operands;
    if (std::optional<int> done = parser.Parse(args, operands)) {
        return *done;
    }
    if (operands.size() != 1) {
        return parser.Error(operands.empty() ? "give the IMAGE"
                                             : "give one IMAGE, not also '" + operands[1] + "'");
    }
    PixelPoint seed;
    if (!seedText || !ParseSeed(*seedText, seed)) {
        return parser.Error(seedText ? "--seed must be X,Y in whole pixels, not '" + *seedText + "'"
                                     : "give the seed pixel with --seed X,Y");
    }
    double tolerance = 0.0;
    if (toleranceText && !ParseTolerance(*toleranceText, tolerance)) {
        return parser.Error("--tolerance must be a number, not '" + *toleranceText + "'");
    }
    if (!output) {
        return parser.Error("give the picture to write with -o OUT.png");
    }
    return PreviewImage(operands[0], seed, tolerance, *output);
}

const CommandRegistration kRegistration({"floodfill-preview",
                                         "show the area a floodfill covers on an image", Run});

}  // namespace
