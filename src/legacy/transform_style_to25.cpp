#include <qmsupport/legacy/transform_style_to25.h>

#include "legacy/legacy_text.h"

QMTransformStyleTo25::~QMTransformStyleTo25() = default;

bool QMTransformStyleTo25::Transform(XmlDocument& style) {
    const XmlDocument::XmlNode& old = style.Root();
    if (qm::legacy::Decimal(old.Value(L"version", L"")) >= 2.5) {
        return true;
    }
    const QMWideString name = old.Value(L"name", L"");
    StyleRecord look;
    const bool hasLook = look.Read(&old);

    const QMWideString fileName = style.FileName();
    style.Reset();
    // A literal root tag: this fails only when memory runs out, and the style stays empty.
    (void)style.Create(L"style");
    style.SetFileName(fileName.c_str());
    XmlDocument::XmlNode& root = style.Root();
    root.SetValue(L"id", name.c_str());
    root.SetValue(L"version", L"2.5");
    if (hasLook) {
        look.Write(&root);
    }
    return true;
}
