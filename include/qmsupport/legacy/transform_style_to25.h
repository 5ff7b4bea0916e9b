#pragma once

#include <qmsupport/export.h>
#include <qmsupport/legacy/style_record.h>
#include <qmsupport/xml/xml_document.h>

// Rewrites one style document (".xsty") into the 2.5 layout: root "style" with "id" (the old
// "name") and "version" "2.5", and the look as a "font" and a "style" child. Everything else
// of the old root is dropped. A document at 2.5 or later is left as it is.
class QMSUPPORT_API QMTransformStyleTo25 {
  public:
    QMTransformStyleTo25() = default;
    QMTransformStyleTo25(const QMTransformStyleTo25&) = default;
    QMTransformStyleTo25& operator=(const QMTransformStyleTo25&) = default;
    virtual ~QMTransformStyleTo25();

    // Rewrites the document in memory; it neither loads nor saves it. Always true.
    bool Transform(XmlDocument& style);
};
