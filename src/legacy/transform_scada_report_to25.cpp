#include <qmsupport/legacy/transform_scada_report_to25.h>
#include <qmsupport/platform/display_metrics.h>
#include <qmsupport/toolsapi/identifiers.h>

#include "legacy/floodfill_region.h"
#include "legacy/legacy_text.h"
#include "legacy/scada_report_controls.h"

#include <algorithm>

namespace {

using XmlNode = XmlDocument::XmlNode;
using Self = QMTransformScadaReportTo25;
using DropReason = QMTransformCfgTo27Observer::ControlDropReason;

// Physical pixels per millimetre of the display over its logical pixels per millimetre, as one
// quotient, so that a display whose two agree gives exactly 1.0.
double DisplayScale(int pixels, double millimetres, int logicalPixelsPerInch) {
    const double physical = millimetres * logicalPixelsPerInch;
    return physical > 0.0 && pixels > 0 ? (pixels * 25.4) / physical : 1.0;
}

}  // namespace

Self::QMTransformScadaReportTo25() = default;

Self::QMTransformScadaReportTo25(const QMTransformScadaReportTo25& other)
    : id(other.id), name(other.name), observer_(other.observer_) {}

Self& Self::operator=(const QMTransformScadaReportTo25& other) {
    if (this != &other) {
        pages.clear();
        id = other.id;
        name = other.name;
        observer_ = other.observer_;
    }
    return *this;
}

Self::~QMTransformScadaReportTo25() = default;

bool Self::Transform(XmlDocument& document, bool isScreen) {
    const XmlNode& old = document.Root();
    if (qm::legacy::Decimal(old.Value(L"version", L"")) >= 2.5) {
        return true;
    }
    pages.clear();
    id = old.Value(L"id", L"");
    name = old.Value(L"name", L"");

    if (notes_ == nullptr) {
        notes_ = std::make_unique<ReadNotes>();
    }
    notes_->observer = observer_;
    notes_->file = document.FileName();
    int number = 1;
    qm::legacy::ForEachElement(&old, [&](const XmlNode* element) {
        if (element->Tag() != L"page") {
            return;
        }
        notes_->page = number;
        auto page = std::make_unique<LayoutPage>(number++);
        page->Read(element, notes_.get());
        pages.push_back(std::move(page));
    });

    std::unique_ptr<XmlDocument> formules;
    if (const XmlNode* list = old.Node(L"formules")) {
        formules = std::make_unique<XmlDocument>(*list);
        qm::legacy::ForEachElement(&formules->Root(), [](XmlNode* formule) {
            if (formule->Tag() == L"formule") {
                formule->SetValue(
                    L"text",
                    qm::legacy::Replaced(formule->Value(L"text", L""), L'#', L':').c_str());
            }
        });
    }

    const QMWideString fileName = document.FileName();
    document.Reset();
    // A literal root tag: this fails only when memory runs out, and the page tree stays empty.
    (void)document.Create(isScreen ? L"scadaLayout" : L"reportLayout");
    document.SetFileName(fileName.c_str());
    XmlNode& root = document.Root();
    root.SetValue(L"id", id.c_str());
    root.SetValue(L"name", name.c_str());
    root.SetValue(L"version", L"2.5");
    root.SetValue(L"hasZoom", isScreen ? L"F" : L"T");

    const qm::platform::DisplayMetrics& display = qm::platform::DisplayMetrics::Current();
    const int dpi = display.logicalPixelsPerInch;
    PageContext context;
    if (isScreen) {
        context.xScale = DisplayScale(display.widthPixels, display.widthMillimetres, dpi);
        context.yScale = DisplayScale(display.heightPixels, display.heightMillimetres, dpi);
        root.SetValue(L"cxDpi", qm::legacy::FormatInteger(dpi).c_str());
        root.SetValue(L"cyDpi", qm::legacy::FormatInteger(dpi).c_str());
    } else {
        root.SetValue(L"dpiFont", qm::legacy::FormatInteger(dpi).c_str());
    }
    context.pixelsPerMmX = dpi / 25.4;
    context.pixelsPerMmY = dpi / 25.4;

    for (const auto& page : pages) {
        page->Write(&root, context);
    }
    if (formules != nullptr) {
        if (XmlNode* list = root.NewChild(L"formules")) {
            *list = formules->Root();
        }
    }
    return true;
}

// ---- pages ----

Self::LayoutPage::LayoutPage(int number) : number_(number) {
    name.Format(L"page%d", number);
}

Self::LayoutPage::~LayoutPage() = default;

std::unique_ptr<Self::QMControl> Self::LayoutPage::NewControl(const QMWideString& tag) {
    if (tag == L"floodfill") {
        return std::make_unique<QMControlFloodfill>(1);
    }
    if (tag == L"conditioned") {
        return std::make_unique<QMControlConditioned>(2);
    }
    if (tag == L"label") {
        return std::make_unique<QMControlLabel>(3);
    }
    if (tag == L"image") {
        return std::make_unique<QMControlStaticImage>(3);
    }
    if (tag == L"screen") {
        return std::make_unique<QMControlScreen>(4);
    }
    if (tag == L"show") {
        return std::make_unique<QMControlShow>(4);
    }
    if (tag == L"command") {
        return std::make_unique<QMControlCommand>(4);
    }
    if (tag == L"forceVariables") {
        return std::make_unique<QMControlForceVariables>(4);
    }
    if (tag == L"formule") {
        return std::make_unique<QMControlFormule>(5);
    }
    if (tag == L"date") {
        return std::make_unique<QMControlDate>(5);
    }
    return nullptr;
}

void Self::LayoutPage::insert(std::unique_ptr<QMControl> control) {
    const auto after = std::find_if(controls.begin(), controls.end(), [&](const auto& other) {
        return other->layer > control->layer;
    });
    controls.insert(after, std::move(control));
}

bool Self::LayoutPage::Read(const XmlNode* page, ReadNotes* notes) {
    for (const auto& [key, field] : {std::pair{L"width", &width}, std::pair{L"height", &height},
                                     std::pair{L"xgrid", &xGrid}, std::pair{L"ygrid", &yGrid}}) {
        if (const XmlNode* node = page->Node(key)) {
            *field = qm::legacy::Decimal(node->Value());
        }
    }
    notes_ = notes;
    auto backgroundControl = std::make_unique<QMControlBackgroundImage>(0);
    backgroundControl->notes = notes;
    backgroundControl->Read(page);
    background = backgroundControl.get();
    insert(std::move(backgroundControl));

    hasFloodfill = false;
    qm::legacy::ForEachElement(page, [&](const XmlNode* element) {
        const QMWideString tag = element->Tag();
        std::unique_ptr<QMControl> control = NewControl(tag);
        if (control == nullptr) {
            if (notes != nullptr) {
                notes->Dropped(tag, DropReason::UnknownKind);
            }
            return;
        }
        control->notes = notes;
        if (!control->Read(element)) {
            if (notes != nullptr) {
                notes->Dropped(tag, tag == L"show" ? DropReason::NoView : DropReason::NoHotSpot);
            }
            return;
        }
        if (tag == L"floodfill") {
            hasFloodfill = true;
        }
        insert(std::move(control));
    });
    return true;
}

void Self::LayoutPage::renderBackground(PageContext& context) const {
    QMControlBackgroundImage empty(0);
    const bool rendered =
        qm::legacy::RenderBackground(background != nullptr ? *background : empty, context);
    if (notes_ != nullptr && notes_->observer != nullptr) {
        notes_->observer->OnPageBackgroundRendered(notes_->file, number_, rendered);
    }
}

bool Self::LayoutPage::Write(XmlNode* root, const PageContext& documentContext) {
    if (id.IsEmpty()) {
        id = NewGUIDText();
    }
    XmlNode* page = root->NewChild(L"page");
    if (page == nullptr) {
        return true;
    }
    page->SetValue(L"id", id.c_str());
    page->SetValue(L"name", name.c_str());
    page->SetValue(L"width", qm::legacy::Format3(width * documentContext.xScale).c_str());
    page->SetValue(L"height", qm::legacy::Format3(height * documentContext.yScale).c_str());
    page->SetValue(L"xGrid", qm::legacy::Format3(xGrid).c_str());
    page->SetValue(L"yGrid", qm::legacy::Format3(yGrid).c_str());

    PageContext context;
    context.xScale = documentContext.xScale;
    context.yScale = documentContext.yScale;
    context.pixelsPerMmX = documentContext.pixelsPerMmX;
    context.pixelsPerMmY = documentContext.pixelsPerMmY;
    context.pageWidthPx =
        qm::legacy::Truncate(width * documentContext.xScale * documentContext.pixelsPerMmX);
    context.pageHeightPx =
        qm::legacy::Truncate(height * documentContext.yScale * documentContext.pixelsPerMmY);
    if (hasFloodfill) {
        renderBackground(context);
    }
    for (const auto& control : controls) {
        control->Write(page, &context);
    }
    return true;
}
