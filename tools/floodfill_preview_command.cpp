// qmsupport floodfill-preview: shows the areas floodfills cover, as pictures: an image with
// the region around a seed tinted, or each page of a migrated screen with its floodfills'
// masks over its background.

#include "command.h"
#include "image_files.h"
#include "options.h"

#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/flood_fill.h>
#include <qmsupport/images/raster.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/numbers.h>
#include <qmsupport/xml/xml_document.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using qm::images::FloodRegion;
using qm::images::PixelPoint;

constexpr const char* kUsage =
    "usage: qmsupport floodfill-preview IMAGE --seed X,Y [--tolerance T] -o OUT.png\n"
    "       qmsupport floodfill-preview --screen FILE.xscn [--images DIR] -o OUTDIR\n"
    "\n"
    "Shows the areas that floodfills cover, as pictures to check them by eye.\n"
    "\n"
    "With IMAGE, fills the area of similar colour around the seed pixel, as the migration of\n"
    "a floodfill control does, and writes OUT.png: the image with the filled area tinted\n"
    "magenta, its bounding box outlined in blue just outside it, and the seed marked by a\n"
    "red cross. It prints the number of pixels filled and the box. IMAGE is any image file\n"
    "the library reads, or an .img file of the images folder.\n"
    "\n"
    "With --screen, takes a screen migrated to the 2.5 layout and writes OUTDIR/pageN.png for\n"
    "each page N: the page's background image, placed as the page shows it, with the mask of\n"
    "every floodfill tinted magenta at its place, outlined in blue and numbered in the order\n"
    "of the page. A floodfill without a mask is outlined in grey at its own box.\n"
    "\n"
    "  --seed X,Y     the seed pixel, counted from the top-left corner (0,0)\n"
    "  --tolerance T  how far a colour may lie from the seed's colour and still be filled:\n"
    "                 the distance of the red, green and blue values (0 to 255) as a point\n"
    "                 in space; 0 (the default) fills the seed's exact colour only\n"
    "  --screen FILE  the migrated screen (.xscn)\n"
    "  --images DIR   the images folder that holds the backgrounds' .img files (default:\n"
    "                 the folder Images beside the screen)\n"
    "  -o OUT         the picture to write, or with --screen the folder for the pictures\n"
    "\n"
    "Exit status: 0 written; 1 an image or the screen cannot be read, the seed lies outside\n"
    "the image, a page is too large to draw, or a picture cannot be written; 2 usage error.\n";

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
    size_t used = 0;
    tolerance = qm::ReadDecimal(text, &used);
    return !text.empty() && used == text.size();
}

struct Colour {
    uint8_t red, green, blue;
};
constexpr Colour kTint{255, 0, 255}, kOutline{0, 96, 255}, kSeedMark{255, 0, 0};
constexpr Colour kNoMask{128, 128, 128}, kWhite{255, 255, 255}, kBlack{0, 0, 0};

void Paint(CxImage& picture, long x, long y, Colour colour) {
    uint8_t* row = picture.TopRow(y);
    if (row != nullptr && x >= 0 && x < static_cast<long>(picture.GetWidth())) {
        row[x * 3] = colour.red;
        row[x * 3 + 1] = colour.green;
        row[x * 3 + 2] = colour.blue;
    }
}

void Blend(uint8_t* p, Colour tint) {
    p[0] = static_cast<uint8_t>((p[0] + tint.red) / 2);
    p[1] = static_cast<uint8_t>((p[1] + tint.green) / 2);
    p[2] = static_cast<uint8_t>((p[2] + tint.blue) / 2);
}

// Blends every filled pixel half and half with the tint.
void TintRegion(CxImage& picture, const FloodRegion& region, Colour tint) {
    for (long y = region.top; y <= region.bottom; ++y) {
        uint8_t* row = picture.TopRow(y);
        for (long x = region.left; x <= region.right; ++x) {
            if (region.Filled(x, y)) {
                Blend(row + x * 3, tint);
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

// Digits of three by five dots, a row of three bits each, top row first.
constexpr uint16_t kDigits[10] = {075557, 022222, 071747, 071717, 055711,
                                  074717, 074757, 071111, 075757, 075717};

// The number in white digits on a black plate, scaled up twice, with its top-left corner at
// (x, y).
void DrawNumber(CxImage& picture, long x, long y, int number) {
    const std::string digits = std::to_string(number);
    constexpr long kDot = 2;
    const long plateWidth = static_cast<long>(digits.size()) * 4 * kDot + kDot;
    for (long dy = 0; dy < 7 * kDot; ++dy) {
        for (long dx = 0; dx < plateWidth; ++dx) {
            Paint(picture, x + dx, y + dy, kBlack);
        }
    }
    for (size_t i = 0; i < digits.size(); ++i) {
        const uint16_t glyph = kDigits[digits[i] - '0'];
        for (long row = 0; row < 5; ++row) {
            for (long column = 0; column < 3; ++column) {
                if ((glyph >> ((4 - row) * 3 + (2 - column))) & 1) {
                    const long left = x + kDot + static_cast<long>(i) * 4 * kDot + column * kDot;
                    const long top = y + kDot + row * kDot;
                    for (long d = 0; d < kDot * kDot; ++d) {
                        Paint(picture, left + d % kDot, top + d / kDot, kWhite);
                    }
                }
            }
        }
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

double Number(const XmlDocument::XmlNode& node, const wchar_t* key, double fallback) {
    size_t used = 0;
    const double value = qm::ReadDecimal(node.Value(key, L"").view(), &used);
    return used == 0 ? fallback : value;
}

// A number of pixels, already whole; false when it lies beyond any picture.
bool Pixels(double value, long& pixels) {
    if (!(value > -1e9 && value < 1e9)) {
        return false;
    }
    pixels = static_cast<long>(value);
    return true;
}

// Draws the page's background image as the page shows it: at its own size or stretched to
// the page (keeping its aspect ratio or not), aligned by the words of its "image" child.
void DrawBackground(CxImage& page, const XmlDocument::XmlNode& element, const std::string& images) {
    const QMWideString id = element.Value(L"image/imageId", L"");
    CxImage image;
    bool fromText = false;
    if (id.IsEmpty() || !ReadImageFile(images + qm::Utf8(id) + ".img", image, fromText)) {
        return;
    }
    const double pageWidth = page.GetWidth(), pageHeight = page.GetHeight();
    double width = image.GetWidth(), height = image.GetHeight();
    if (element.Value(L"maintainRealSize", L"T") != L"T") {
        if (element.Value(L"maintainAspectRatio", L"T") == L"T") {
            const double scale = std::min(pageWidth / width, pageHeight / height);
            width = std::trunc(width * scale);
            height = std::trunc(height * scale);
        } else {
            width = pageWidth;
            height = pageHeight;
        }
        if (!image.Resample(static_cast<long>(width), static_cast<long>(height), 2)) {
            return;
        }
    }
    auto offset = [](double page, double drawn, const QMWideString& word, const wchar_t* start,
                     const wchar_t* end) {
        return word == start ? 0 : word == end ? page - drawn : std::trunc((page - drawn) / 2);
    };
    qm::images::DrawImage(
        page, image,
        static_cast<int64_t>(offset(pageWidth, width, element.Value(L"image/horizontalAlign", L""),
                                    L"LEFT", L"RIGHT")),
        static_cast<int64_t>(offset(pageHeight, height, element.Value(L"image/verticalAlign", L""),
                                    L"TOP", L"BOTTOM")));
}

// Tints the mask's filled (opaque) pixels on the page with the mask's top-left corner at
// (x, y).
void DrawMask(CxImage& page, const CxImage& mask, long x, long y) {
    const long height = mask.GetHeight();
    for (long row = 0; row < height; ++row) {
        uint8_t* target = page.TopRow(y + row);
        if (target == nullptr) {
            continue;
        }
        for (long column = 0; column < static_cast<long>(mask.GetWidth()); ++column) {
            const long at = x + column;
            if (at >= 0 && at < static_cast<long>(page.GetWidth()) &&
                mask.GetPixelColor(column, height - 1 - row, true).rgbReserved > 127) {
                Blend(target + at * 3, kTint);
            }
        }
    }
}

// Draws one page: false when it is too large to draw or cannot be written.
bool PreviewPage(const XmlDocument::XmlNode& page, double perMmX, double perMmY,
                 const std::string& images, const std::string& output, int& floodfills) {
    long width = 0, height = 0;
    CxImage picture;
    // The page's pixels are truncated, as the migration counts them; the floodfills'
    // millimetres, written to two decimals, are rounded back to their pixels.
    if (!Pixels(std::trunc(Number(page, L"width", 0) * perMmX), width) ||
        !Pixels(std::trunc(Number(page, L"height", 0) * perMmY), height) ||
        !qm::images::CreateWhiteCanvas(picture, width, height)) {
        return false;
    }
    if (const XmlDocument::XmlNode* background = page.Node(L"backgroundImage")) {
        DrawBackground(picture, *background, images);
    }
    floodfills = 0;
    for (auto it = page.ChildsBegin(); it != page.ChildsEnd(); ++it) {
        const XmlDocument::XmlNode& element = **it;
        if (element.IsKey() || element.Tag() != L"floodFill") {
            continue;
        }
        ++floodfills;
        long x = 0, y = 0, right = 0, bottom = 0;
        const double left = Number(element, L"x", 0), top = Number(element, L"y", 0);
        if (!Pixels(std::round(left * perMmX), x) || !Pixels(std::round(top * perMmY), y) ||
            !Pixels(std::round((left + Number(element, L"width", 0)) * perMmX), right) ||
            !Pixels(std::round((top + Number(element, L"height", 0)) * perMmY), bottom)) {
            continue;
        }
        CxImage mask;
        const std::string text = qm::Utf8(element.Value(L"image/image64", L""));
        QMNarrowString bytes;
        const bool hasMask =
            !text.empty() && DecodeBase64String(bytes, text.c_str(), text.size()) &&
            mask.Decode(reinterpret_cast<const uint8_t*>(bytes.c_str()), bytes.Length(), 0);
        if (hasMask) {
            DrawMask(picture, mask, x, y);
            right = x + static_cast<long>(mask.GetWidth()) - 1;
            bottom = y + static_cast<long>(mask.GetHeight()) - 1;
        }
        Outline(picture, x - 1, y - 1, right + 1, bottom + 1, hasMask ? kOutline : kNoMask);
        DrawNumber(picture, x, y, floodfills);
    }
    return WritePngFile(output, picture);
}

int PreviewScreen(const std::string& screen, std::optional<std::string> images,
                  const std::string& output) {
    XmlDocument document;
    if (!document.Load(qm::Wide(screen).c_str())) {
        return Fail("'" + screen + "' is no XML document this program can read");
    }
    const XmlDocument::XmlNode& root = document.Root();
    if (!images) {
        const size_t slash = screen.find_last_of("/\\");
        images =
            (slash == std::string::npos ? std::string() : screen.substr(0, slash + 1)) + "Images";
    }
    if (images->back() != '/' && images->back() != '\\') {
        *images += '/';
    }
    std::error_code error;
    std::filesystem::create_directories(output, error);
    const double perMmX = Number(root, L"cxDpi", 96) / 25.4;
    const double perMmY = Number(root, L"cyDpi", 96) / 25.4;
    int number = 0;
    bool failed = false;
    for (auto it = root.ChildsBegin(); it != root.ChildsEnd(); ++it) {
        if ((*it)->IsKey() || (*it)->Tag() != L"page") {
            continue;
        }
        const std::string path = output + "/page" + std::to_string(++number) + ".png";
        int floodfills = 0;
        if (!PreviewPage(**it, perMmX, perMmY, *images, path, floodfills)) {
            Fail("cannot draw page " + std::to_string(number) + " into '" + path + "'");
            failed = true;
            continue;
        }
        std::printf("%s: %d floodfills\n", path.c_str(), floodfills);
    }
    if (number == 0) {
        return Fail("'" + screen + "' holds no pages of the 2.5 layout");
    }
    return std::fflush(stdout) == 0 && !failed ? kExitOk : kExitFailure;
}

int Run(const std::vector<std::string>& args) {
    std::optional<std::string> seedText, toleranceText, screen, images, output;
    OptionParser parser("floodfill-preview", kUsage);
    parser.Value("--seed", "X,Y", seedText)
        .Value("--tolerance", "a number", toleranceText)
        .Value("--screen", "a file name", screen)
        .Value("--images", "a folder", images)
        .Value("-o", "a file name", output);
    std::vector<std::string> operands;
    if (std::optional<int> done = parser.Parse(args, operands)) {
        return *done;
    }
    if (screen) {
        if (!operands.empty() || seedText || toleranceText) {
            return parser.Error("--screen takes no IMAGE, --seed or --tolerance");
        }
        if (!output) {
            return parser.Error("give the folder for the pictures with -o OUTDIR");
        }
        return PreviewScreen(*screen, images, *output);
    }
    if (images) {
        return parser.Error("--images goes with --screen");
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
