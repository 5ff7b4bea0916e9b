#pragma once

#include <qmsupport/export.h>
#include <qmsupport/images/cx_image.h>
#include <qmsupport/migrate27/transform_observer.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/xml/xml_document.h>

#include <cstdint>
#include <memory>
#include <vector>

// The figures a page's controls are written with. The document sets the scales and the
// display's logical pixels per millimetre once; each page adds its size in pixels and, when
// it holds a floodfill, its rendered background.
struct QMSUPPORT_API PageContext {
    double xScale = 1.0;  // old unit to new unit
    double yScale = 1.0;
    double pixelsPerMmX = 96.0 / 25.4;  // logical pixels per millimetre of the display
    double pixelsPerMmY = 96.0 / 25.4;
    int32_t pageWidthPx = 0;
    int32_t pageHeightPx = 0;
    std::unique_ptr<CxImage> background;  // the rendered page background, or null
    double backgroundScaleX = 1.0;        // page pixels per background pixel
    double backgroundScaleY = 1.0;
};

// Rewrites one screen (".xscn") or report (".xrpt") document from the layout before 2.5 into
// the 2.5 layout, in place: root "scadaLayout" or "reportLayout" with the display's
// resolution, pages in millimetres (screens are rescaled from the display's physical
// millimetres to logical ones) and every control under its 2.5 element, in drawing order.
// Images of the controls move into the images directory.
//
// One object may rewrite many documents in turn; the pages of one document are kept until
// the next call. Copies carry the id and name and the observer, never the pages.
class QMSUPPORT_API QMTransformScadaReportTo25 {
  public:
    // The controls of a page, and the page itself (declared with the library's internals).
    class QMControl;
    class QMControlBackgroundImage;
    class QMControlFloodfill;
    class QMControlConditioned;
    class QMControlLabel;
    class QMControlStaticImage;
    class QMControlScreen;
    class QMControlShow;
    class QMControlCommand;
    class QMControlForceVariables;
    class QMControlFormule;
    class QMControlDate;
    class LayoutPage;
    // Where the controls of the document being read report what they drop and store.
    struct ReadNotes;

    QMTransformScadaReportTo25();
    QMTransformScadaReportTo25(const QMTransformScadaReportTo25& other);
    QMTransformScadaReportTo25& operator=(const QMTransformScadaReportTo25& other);
    virtual ~QMTransformScadaReportTo25();

    // Rewrites the document in memory; `isScreen` picks the screen layout, else the report
    // one. A document at version 2.5 or later is left as it is. Always true.
    bool Transform(XmlDocument& document, bool isScreen);

    // An observer told of dropped controls and stored images, or null (the default). It is
    // not owned and must outlive the calls.
    void SetObserver(QMTransformCfgTo27Observer* observer) { observer_ = observer; }
    QMTransformCfgTo27Observer* Observer() const { return observer_; }

  private:
    std::vector<std::unique_ptr<LayoutPage>> pages;
    QMWideString id;
    QMWideString name;
    QMTransformCfgTo27Observer* observer_ = nullptr;
    std::unique_ptr<ReadNotes> notes_;  // of the documents read so far
};
