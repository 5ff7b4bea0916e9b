#pragma once

// The controls of a screen or report page and the page itself, as the 2.5 migration reads
// them from the layout before 2.5 and writes them in the 2.5 layout.

#include <qmsupport/images/cx_image.h>
#include <qmsupport/legacy/style_record.h>
#include <qmsupport/legacy/transform_scada_report_to25.h>
#include <qmsupport/migrate27/transform_observer.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/xml/xml_document.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// What the controls of one document report to while they are read, and the numbering of
// images stored under "image%d" names.
struct QMTransformScadaReportTo25::ReadNotes {
    using DropReason = QMTransformCfgTo27Observer::ControlDropReason;

    QMTransformCfgTo27Observer* observer = nullptr;
    QMWideString file;  // the document's file
    int page = 0;       // the page being read, from 1

    void Dropped(const QMWideString& tag, DropReason reason) const;
    void Stored(const QMWideString& image, const QMWideString& source, bool stored) const;

    // The first name "image%d" (from 1) whose ".img" file is not in the images directory.
    // Names below the last one chosen were taken when it was chosen and stay taken (images
    // are only added during a run), so the search goes on from there.
    QMWideString FreeImageName();

  private:
    QMWideString imagesPath_;
    int nextImage_ = 1;
};

// A control of a page: its geometry, colour, alignment and text look. Read takes a
// pre-2.5 element; Write appends the 2.5 element to a parent.
class QMTransformScadaReportTo25::QMControl {
  public:
    explicit QMControl(int32_t controlLayer) : layer(controlLayer) {}
    QMControl(const QMControl&) = delete;
    QMControl& operator=(const QMControl&) = delete;
    virtual ~QMControl();

    // Fills the control from a pre-2.5 element; false means the control is dropped.
    virtual bool Read(const XmlDocument::XmlNode* element);
    // Appends the control's 2.5 element to parent. The base class writes the common
    // attributes on an element its subclass appended.
    virtual bool Write(XmlDocument::XmlNode* parent, PageContext* context);

    double x = 0.0;
    double y = 0.0;
    double width = 10.0;
    double height = 10.0;
    int32_t layer;
    QMWideString id;
    uint32_t color = 0;
    int32_t horizontalAlign = -1;
    int32_t verticalAlign = -1;
    std::unique_ptr<StyleRecord> style;
    // Where the control reports dropped inner controls and stored images; may be null.
    ReadNotes* notes = nullptr;

  protected:
    // Appends the element `tag` to parent and writes the common attributes on it; null when
    // the element cannot be added.
    XmlDocument::XmlNode* appendElement(XmlDocument::XmlNode* parent, PageContext* context,
                                        const wchar_t* tag);
};

namespace qm::legacy {

// Where an image sits in its box, and the stored image it shows.
struct ImagePlacement {
    QMWideString imageId;
    int32_t imageHorizontalAlign = 16;
    int32_t imageVerticalAlign = 16;
    bool maintainAspectRatio = true;
    bool maintainRealSize = true;

    // The alignments and flags of an image element, each when present.
    void Read(const XmlDocument::XmlNode* element);
    // The two flags on `element` and a child "image" with the id and the alignment words.
    void Write(XmlDocument::XmlNode* element) const;
};

}  // namespace qm::legacy

class QMTransformScadaReportTo25::QMControlBackgroundImage : public QMControl {
  public:
    using QMControl::QMControl;
    bool Read(const XmlDocument::XmlNode* element) override;
    bool Write(XmlDocument::XmlNode* parent, PageContext* context) override;

    qm::legacy::ImagePlacement placement;
    // The decoded background, kept for rendering the page; null when there is none.
    std::unique_ptr<CxImage> image;

  private:
    // The stored ".img" file of `name`, decoded, or null.
    static std::unique_ptr<CxImage> LoadStored(const QMWideString& name);
};

class QMTransformScadaReportTo25::QMControlFloodfill : public QMControl {
  public:
    using QMControl::QMControl;
    bool Read(const XmlDocument::XmlNode* element) override;
    // Writes the control and its colours. The mask of the flooded region is cut from the
    // page's rendered background (context->background); without one the element keeps the
    // control's own geometry.
    bool Write(XmlDocument::XmlNode* parent, PageContext* context) override;

    double hotX = -1.0;
    double hotY = -1.0;
    std::vector<std::pair<QMWideString, QMWideString>> colours;  // condition, colour
    double tolerance = 0.0;
};

class QMTransformScadaReportTo25::QMControlConditioned : public QMControl {
  public:
    using QMControl::QMControl;
    bool Read(const XmlDocument::XmlNode* element) override;
    bool Write(XmlDocument::XmlNode* parent, PageContext* context) override;

    // Index-aligned; an entry without a readable control holds null.
    std::vector<std::unique_ptr<QMControl>> controls;
    std::vector<QMWideString> conditions;
};

class QMTransformScadaReportTo25::QMControlLabel : public QMControl {
  public:
    using QMControl::QMControl;
    bool Read(const XmlDocument::XmlNode* element) override;
    bool Write(XmlDocument::XmlNode* parent, PageContext* context) override;

    QMWideString text;
};

class QMTransformScadaReportTo25::QMControlStaticImage : public QMControl {
  public:
    using QMControl::QMControl;
    bool Read(const XmlDocument::XmlNode* element) override;
    bool Write(XmlDocument::XmlNode* parent, PageContext* context) override;

    qm::legacy::ImagePlacement placement;
};

class QMTransformScadaReportTo25::QMControlScreen : public QMControl {
  public:
    using QMControl::QMControl;
    bool Read(const XmlDocument::XmlNode* element) override;
    bool Write(XmlDocument::XmlNode* parent, PageContext* context) override;

    QMWideString value;
};

class QMTransformScadaReportTo25::QMControlShow : public QMControl {
  public:
    using QMControl::QMControl;
    bool Read(const XmlDocument::XmlNode* element) override;
    bool Write(XmlDocument::XmlNode* parent, PageContext* context) override;

    // 1 device, 2 active events, 3 historic events, 4 report, 5 graph, 6 table.
    int32_t kind = 0;
    QMWideString device;
    QMWideString report;
    QMWideString groupId;
    QMWideString groupBy;
    QMWideString begin;
    QMWideString end;
    QMWideString period;
    std::vector<QMWideString> variables;
    bool totalize = false;

  private:
    void readEventGroup(const XmlDocument::XmlNode* view);
};

class QMTransformScadaReportTo25::QMControlCommand : public QMControl {
  public:
    using QMControl::QMControl;
    bool Read(const XmlDocument::XmlNode* element) override;
    bool Write(XmlDocument::XmlNode* parent, PageContext* context) override;

    QMWideString appName;
    QMWideString appParam;
};

class QMTransformScadaReportTo25::QMControlForceVariables : public QMControl {
  public:
    using QMControl::QMControl;
    bool Read(const XmlDocument::XmlNode* element) override;
    bool Write(XmlDocument::XmlNode* parent, PageContext* context) override;

    std::vector<QMWideString> names;  // index-aligned with values
    std::vector<QMWideString> values;
};

class QMTransformScadaReportTo25::QMControlFormule : public QMControl {
  public:
    using QMControl::QMControl;
    bool Read(const XmlDocument::XmlNode* element) override;
    bool Write(XmlDocument::XmlNode* parent, PageContext* context) override;

    QMWideString value;
    int32_t integers = -1;
    int32_t decimals = -1;
    int32_t leftPadding = -1;
    int32_t rightPadding = -1;
    bool thousandSeparator = false;

  private:
    void readFormat(const QMWideString& format);
};

class QMTransformScadaReportTo25::QMControlDate : public QMControl {
  public:
    using QMControl::QMControl;
    bool Read(const XmlDocument::XmlNode* element) override;
    bool Write(XmlDocument::XmlNode* parent, PageContext* context) override;

    QMWideString value;
    QMWideString field;
    QMWideString pattern;

    // A date format before 2.5 as a 2.5 pattern: double quotes delimit literal text, which
    // becomes single-quoted, and hours "h" become "H".
    static QMWideString Pattern(const QMWideString& format);
};

// One page of the document: its size and grid, and its controls in drawing order.
class QMTransformScadaReportTo25::LayoutPage {
  public:
    explicit LayoutPage(int number);
    LayoutPage(const LayoutPage&) = delete;
    LayoutPage& operator=(const LayoutPage&) = delete;
    ~LayoutPage();

    // Reads the page element: its size, its background and every control of a known kind.
    // Always true.
    bool Read(const XmlDocument::XmlNode* page, ReadNotes* notes = nullptr);
    // Appends the 2.5 "page" under root and writes the controls into it. Always true.
    bool Write(XmlDocument::XmlNode* root, const PageContext& documentContext);

    // Sorted by layer; among equal layers, in document order.
    std::vector<std::unique_ptr<QMControl>> controls;
    double width = 800.0;
    double height = 600.0;
    double xGrid = 0.0;
    double yGrid = 0.0;
    QMWideString id;
    QMWideString name;
    QMControlBackgroundImage* background = nullptr;  // also held in controls
    bool hasFloodfill = false;

    // A new control for a page child of that tag, with its page layer, or null for a tag of
    // no control kind.
    static std::unique_ptr<QMControl> NewControl(const QMWideString& tag);

  private:
    void insert(std::unique_ptr<QMControl> control);
    // Renders the page background into the context, for the floodfills of the page to cut
    // their regions from.
    void renderBackground(PageContext& context) const;

    int number_;                  // from 1
    ReadNotes* notes_ = nullptr;  // of the document the page was read from
};
