#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/raster.h>
#include <qmsupport/legacy/transform_scada_report_to25.h>
#include <qmsupport/toolsapi/codecs.h>

#include "common/image_test_util.h"
#include "common/page_migration_scene.h"
#include "images/pixel_memory.h"
#include "legacy/document_text.h"
#include "legacy/floodfill_region.h"
#include "legacy/scada_report_controls.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Migration = QMTransformScadaReportTo25;
using XmlNode = XmlDocument::XmlNode;
using qm::legacy::RenderBackground;

constexpr double kPixelsPerMm = 96.0 / 25.4;

// A white picture with black pixels where `black(x, y)` holds, rows from the top.
std::unique_ptr<CxImage> Picture(long width, long height, std::function<bool(long, long)> black) {
    return std::make_unique<CxImage>(
        GreyPicture(width, height, [&](long x, long y) { return black(x, y) ? 0 : 255; }));
}

PageContext Context(std::unique_ptr<CxImage> background, double scale = 1.0) {
    PageContext context;
    context.pixelsPerMmX = context.pixelsPerMmY = kPixelsPerMm;
    context.background = std::move(background);
    context.backgroundScaleX = context.backgroundScaleY = scale;
    return context;
}

// The floodFill element that a floodfill read from `element` writes with the context.
struct Written {
    XmlDocument page;
    const XmlNode* floodFill = nullptr;

    std::string Value(const wchar_t* key) const {
        return qm::Utf8(floodFill->Value(key, L"(none)"));
    }
    // The decoded mask, or an invalid image when there is none.
    CxImage Mask() const {
        const XmlNode* image = floodFill->Node(L"image");
        if (image == nullptr) {
            return CxImage();
        }
        const std::string text = qm::Utf8(image->Value(L"image64", L""));
        QMNarrowString bytes;
        EXPECT_TRUE(DecodeBase64String(bytes, text.c_str(), text.size()));
        return CxImage(reinterpret_cast<const uint8_t*>(bytes.c_str()), bytes.Length(), 0);
    }
};

std::unique_ptr<Written> WriteFloodfill(const char* element, PageContext& context) {
    XmlDocument source;
    EXPECT_TRUE(source.Parse(element));
    auto control = Migration::LayoutPage::NewControl(L"floodfill");
    EXPECT_TRUE(control->Read(&source.Root()));
    auto written = std::make_unique<Written>();
    EXPECT_TRUE(written->page.Create(L"page"));
    EXPECT_TRUE(control->Write(&written->page.Root(), &context));
    written->floodFill = written->page.Root().Node(L"floodFill");
    EXPECT_NE(written->floodFill, nullptr);
    return written;
}

// Black and opaque, or white and transparent.
enum class MaskPixel { Filled, Clear, Other };
MaskPixel At(const CxImage& mask, long x, long y) {
    RGBQUAD c = mask.GetPixelColor(x, static_cast<long>(mask.GetHeight()) - 1 - y, true);
    if (c.rgbRed == 0 && c.rgbGreen == 0 && c.rgbBlue == 0 && c.rgbReserved == 255) {
        return MaskPixel::Filled;
    }
    if (c.rgbRed == 255 && c.rgbGreen == 255 && c.rgbBlue == 255 && c.rgbReserved == 0) {
        return MaskPixel::Clear;
    }
    return MaskPixel::Other;
}

}  // namespace

// The box left 10, top 20, 100 by 50 pixels at 96 dpi, and the mask cut from it: an L whose
// top-right corner is white, with a black pixel touching the L only diagonally.
TEST(FloodfillRegion, BoxInMillimetresAndMaskCutToIt) {
    PageContext context = Context(Picture(200, 100, [](long x, long y) {
        bool inL = x >= 10 && x <= 110 && y >= 20 && y <= 70 && !(x >= 80 && y <= 40);
        return inL || (x == 111 && y == 71);
    }));
    auto written = WriteFloodfill(
        "<floodfill id='F' x='1' y='2' width='3' height='4' hotX='15' hotY='12'>"
        "<control condition='[A] &gt; 1' color='FF0000'/></floodfill>",
        context);
    EXPECT_EQ(written->Value(L"x"), "2.65");
    EXPECT_EQ(written->Value(L"y"), "5.29");
    EXPECT_EQ(written->Value(L"width"), "26.46");
    EXPECT_EQ(written->Value(L"height"), "13.23");
    EXPECT_EQ(written->Value(L"hotX"), "14.82");  // seed pixel 56, 45
    EXPECT_EQ(written->Value(L"hotY"), "11.91");
    ASSERT_NE(written->floodFill->Node(L"control"), nullptr);
    EXPECT_EQ(qm::Utf8(written->floodFill->Node(L"control")->Value(L"color", L"")), "FF0000");
    CxImage mask = written->Mask();
    ASSERT_TRUE(mask.IsValid());
    EXPECT_EQ(mask.GetWidth(), 100u);  // the box's last column and row are dropped
    EXPECT_EQ(mask.GetHeight(), 50u);
    EXPECT_EQ(At(mask, 0, 0), MaskPixel::Filled);
    EXPECT_EQ(At(mask, 69, 20), MaskPixel::Filled);
    EXPECT_EQ(At(mask, 70, 20), MaskPixel::Clear);  // the white corner
    EXPECT_EQ(At(mask, 99, 49), MaskPixel::Filled);
}

TEST(FloodfillRegion, NoMaskForAPointALineASeedOutsideOrNoBackground) {
    auto write = [&](const std::string& hotX, PageContext& context) {
        const std::string element =
            "<floodfill x='1' y='2' width='3' height='4' hotX='" + hotX + "' hotY='5'/>";
        return WriteFloodfill(element.c_str(), context);
    };
    // A lone pixel and a vertical line one pixel wide: a box of no width.
    PageContext point = Context(Picture(40, 40, [](long x, long y) { return x == 18 && y == 18; }));
    PageContext line = Context(Picture(40, 40, [](long x, long) { return x == 18; }));
    for (PageContext* context : {&point, &line}) {
        auto written = write("5", *context);  // seed 18, 18
        EXPECT_EQ(written->floodFill->Node(L"image"), nullptr);
        EXPECT_EQ(written->Value(L"x"), "1.00");  // the control's own geometry
        EXPECT_EQ(written->Value(L"width"), "3.00");
        EXPECT_EQ(written->Value(L"hotX"), "(none)");
    }
    PageContext white = Context(Picture(40, 40, [](long, long) { return false; }));
    EXPECT_NE(write("5", white)->floodFill->Node(L"image"), nullptr);
    for (const char* outside : {"11", "-1", "1e300", "-1e300", "568000000"}) {
        auto written = write(outside, white);
        EXPECT_EQ(written->floodFill->Node(L"image"), nullptr) << outside;
        EXPECT_EQ(written->Value(L"x"), "1.00");
    }
    PageContext none = Context(nullptr);
    EXPECT_EQ(write("5", none)->floodFill->Node(L"image"), nullptr);
}

// At real size the mask is the region's own pixels; on a background stretched twice it is
// resampled to twice its size and thresholded back to pure black and white.
TEST(FloodfillRegion, MaskAtRealSizeAndStretchedTwice) {
    auto shape = [](long x, long y) {  // a rectangle with a staircase edge
        return x >= 10 && x < 40 && y >= 10 && y < 30 && x - 10 < 2 * (y - 5);
    };
    for (const double scale : {1.0, 2.0}) {
        PageContext context = Context(Picture(60, 40, shape), scale);
        // The seed is background pixel 30, 26 at real size and 13, 13 stretched.
        auto written = WriteFloodfill(
            scale == 1.0 ? "<floodfill hotX='8' hotY='7'/>" : "<floodfill hotX='7' hotY='7'/>",
            context);
        EXPECT_EQ(written->Value(L"x"), scale == 1.0 ? "2.65" : "5.29");       // 10 pixels
        EXPECT_EQ(written->Value(L"width"), scale == 1.0 ? "7.67" : "15.35");  // 29 pixels
        CxImage mask = written->Mask();
        ASSERT_TRUE(mask.IsValid());
        const long width = static_cast<long>(29 * scale), height = static_cast<long>(19 * scale);
        ASSERT_EQ(static_cast<long>(mask.GetWidth()), width);
        ASSERT_EQ(static_cast<long>(mask.GetHeight()), height);
        long filled = 0, wrong = 0;
        for (long y = 0; y < height; ++y) {
            for (long x = 0; x < width; ++x) {
                const MaskPixel pixel = At(mask, x, y);
                ASSERT_NE(pixel, MaskPixel::Other) << x << "," << y;
                filled += pixel == MaskPixel::Filled;
                wrong += (pixel == MaskPixel::Filled) !=
                         shape(long(x / scale) + 10, long(y / scale) + 10);
            }
        }
        // Resampling may move the staircase's edge by a pixel, and only there.
        EXPECT_LE(wrong, scale == 1.0 ? 0 : 2 * (width + height)) << scale;
        EXPECT_NEAR(filled, width * height * 0.7, width * height * 0.2);
    }
}

namespace {

// Renders the background of an image with the placement given onto a page of that size.
PageContext Rendered(const CxImage* image, int32_t pageWidth, int32_t pageHeight,
                     int32_t horizontal = 16, int32_t vertical = 16, bool realSize = true,
                     bool aspect = true, bool* ok = nullptr) {
    Migration::QMControlBackgroundImage control(0);
    if (image != nullptr) {
        control.image = std::make_unique<CxImage>();  // an image of no size stays so
        if (image->IsValid()) {
            EXPECT_TRUE(qm::images::CopyArea(*image, 0, 0, image->GetWidth(), image->GetHeight(),
                                             *control.image));
        }
    }
    control.placement.imageHorizontalAlign = horizontal;
    control.placement.imageVerticalAlign = vertical;
    control.placement.maintainRealSize = realSize;
    control.placement.maintainAspectRatio = aspect;
    PageContext context;
    context.pageWidthPx = pageWidth;
    context.pageHeightPx = pageHeight;
    context.background = std::make_unique<CxImage>();  // replaced
    context.backgroundScaleX = 7.0;
    bool rendered = RenderBackground(control, context);
    if (ok != nullptr) {
        *ok = rendered;
    }
    return context;
}

bool SamePixel(const CxImage& a, long ax, long ay, const CxImage& b, long bx, long by) {
    return std::equal(a.TopRow(ay) + ax * 3, a.TopRow(ay) + ax * 3 + 3, b.TopRow(by) + bx * 3);
}
bool White(const CxImage& a, long x, long y) {
    return a.TopRow(y)[x * 3] == 255 && a.TopRow(y)[x * 3 + 1] == 255 &&
           a.TopRow(y)[x * 3 + 2] == 255;
}

}  // namespace

// Each placement of an image: the canvas, its scales to the page and where the image lands on
// it, every other pixel white. Bigger than the page at real size, the canvas is the page; a
// smaller image is centred with the half rounded toward zero, (21 - 10) / 2 = 5. Stretched to
// the page, the scales are 4 and 6 and the canvas is the image. Keeping the aspect ratio, both
// scales are 4; the page's 10 spare rows are 2.5 canvas rows, the offset 5 page rows 1.25,
// truncated to 1; the canvas is 40 / 4 by 30 / 4 = 7.5, truncated to 7.
TEST(FloodfillRegion, RenderedBackgroundFollowsThePlacement) {
    CxImage big, small, wide;
    PaintTestImage(big, 41, 31);
    PaintTestImage(small, 10, 4);
    PaintTestImage(wide, 10, 5);
    const struct {
        const CxImage& image;
        int32_t pageWidth, pageHeight, horizontal, vertical;
        bool realSize, aspect;
        double scaleX, scaleY;
        long width, height, x, y;  // the canvas, and the image's offset on it
    } cases[] = {
        {big, 20, 10, 1, 4, true, true, 1, 1, 20, 10, 0, 0},
        {big, 20, 10, 2, 8, true, true, 1, 1, 20, 10, -21, -21},
        {big, 20, 10, 16, 16, true, true, 1, 1, 20, 10, -10, -10},
        {big, 20, 10, 1, 16, true, true, 1, 1, 20, 10, 0, -10},
        {big, 20, 10, 2, 4, true, true, 1, 1, 20, 10, -21, 0},
        {small, 21, 4, 16, 16, true, true, 1, 1, 21, 4, 5, 0},
        {wide, 40, 30, 16, 16, false, false, 4, 6, 10, 5, 0, 0},
        {wide, 40, 30, 16, 16, false, true, 4, 4, 10, 7, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << &c - cases);
        PageContext context = Rendered(&c.image, c.pageWidth, c.pageHeight, c.horizontal,
                                       c.vertical, c.realSize, c.aspect);
        ASSERT_NE(context.background, nullptr);
        const CxImage& canvas = *context.background;
        EXPECT_EQ(context.backgroundScaleX, c.scaleX);
        EXPECT_EQ(context.backgroundScaleY, c.scaleY);
        ASSERT_EQ(static_cast<long>(canvas.GetWidth()), c.width);
        ASSERT_EQ(static_cast<long>(canvas.GetHeight()), c.height);
        for (long y = 0; y < c.height; ++y) {
            for (long x = 0; x < c.width; ++x) {
                const long ix = x - c.x, iy = y - c.y;
                const bool drawn = ix >= 0 && iy >= 0 && ix < long(c.image.GetWidth()) &&
                                   iy < long(c.image.GetHeight());
                ASSERT_TRUE(drawn ? SamePixel(canvas, x, y, c.image, ix, iy) : White(canvas, x, y))
                    << x << "," << y;
            }
        }
    }
}

// No image, and an image of no size, give a white page; a page past the bound or of no size
// gives no background at all, and nothing is allocated for it.
TEST(FloodfillRegion, BackgroundWithoutImageAndHostilePages) {
    CxImage empty;
    for (const CxImage* image :
         {static_cast<const CxImage*>(nullptr), static_cast<const CxImage*>(&empty)}) {
        bool ok = false;
        PageContext context = Rendered(image, 30, 20, 16, 16, true, true, &ok);
        EXPECT_TRUE(ok);
        ASSERT_NE(context.background, nullptr);
        EXPECT_EQ(context.background->GetWidth(), 30u);
        EXPECT_TRUE(White(*context.background, 29, 19));
        EXPECT_EQ(context.backgroundScaleX, 1.0);
    }
    CxImage image;
    PaintTestImage(image, 10, 5);
    qm::images::detail::ResetPeakCountedBytes();
    const size_t before = qm::images::detail::CountedBytes();
    for (auto [width, height, realSize] :
         {std::tuple{1000000000, 20, true}, std::tuple{0, 20, true}, std::tuple{-5, 20, false},
          std::tuple{0, 0, false}, std::tuple{2147483647, 2147483647, true}}) {
        bool ok = true;
        PageContext context = Rendered(&image, width, height, 16, 16, realSize, true, &ok);
        EXPECT_FALSE(ok) << width;
        EXPECT_EQ(context.background, nullptr);
        EXPECT_EQ(context.backgroundScaleX, 1.0);
        ok = true;
        EXPECT_EQ(Rendered(nullptr, width, height, 16, 16, realSize, true, &ok).background,
                  nullptr);
        EXPECT_FALSE(ok);
    }
    EXPECT_LT(qm::images::detail::PeakCountedBytes() - before, size_t{1} << 20);

    // Stretched over a page a billion pixels wide, the canvas stays the image's; the mask
    // would pass the bound once brought to page pixels, so none is written.
    bool ok = false;
    PageContext wide = Rendered(&image, 1000000000, 5, 16, 16, false, false, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(wide.background->GetWidth(), 10u);
    wide.pixelsPerMmX = wide.pixelsPerMmY = kPixelsPerMm;
    auto written = WriteFloodfill("<floodfill hotX='1' hotY='0.1'/>", wide);
    EXPECT_EQ(written->floodFill->Node(L"image"), nullptr);
    EXPECT_LT(qm::images::detail::PeakCountedBytes() - before, size_t{1} << 20);
}

namespace {

struct RenderCounter : QMTransformCfgTo27Observer {
    std::vector<std::pair<int, bool>> pages;
    void OnPageBackgroundRendered(const QMWideString&, int page, bool rendered) override {
        pages.emplace_back(page, rendered);
    }
};

}  // namespace

// The background is rendered once for each page that holds floodfills, and never for a page
// without one; a page too large to render keeps its floodfills without masks.
TEST(FloodfillRegion, PagesRenderTheirBackgroundOnlyForFloodfills) {
    PageMigrationScene scene("Images");
    XmlDocument document;
    ASSERT_TRUE(document.Parse(
        "<design><page width='100' height='50'><floodfill hotX='10' hotY='10'/></page>"
        "<page width='100' height='50'><label/></page>"
        "<page width='100' height='50'><floodfill hotX='1' hotY='1'/>"
        "<floodfill hotX='2' hotY='2'/></page>"
        "<page width='1e9' height='50'><floodfill hotX='1' hotY='1'/></page></design>"));
    RenderCounter counter;
    QMTransformScadaReportTo25 migration;
    migration.SetObserver(&counter);
    ASSERT_TRUE(migration.Transform(document, true));
    EXPECT_EQ(counter.pages, (std::vector<std::pair<int, bool>>{{1, true}, {3, true}, {4, false}}));
    // On a white page every floodfill covers the page: 377 by 188 pixels, less one of each.
    const std::string text = DocumentText(document);
    EXPECT_TRUE(Has(text,
                    "<floodFill id=\"{G}\" x=\"0.00\" y=\"0.00\" width=\"99.48\" "
                    "height=\"49.48\""))
        << text;
    size_t images = 0;
    for (size_t at = text.find("image64="); at != std::string::npos;
         at = text.find("image64=", at + 1)) {
        ++images;
    }
    EXPECT_EQ(images, 3u);
}
