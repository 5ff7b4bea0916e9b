#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/xml/xml_document.h>

// Renders an XML text template: a "text" element whose pieces ("textId", "textStr",
// "textValue", "textDate", "textParams") are rendered in document order and concatenated.
// Clears `out`; a node whose tag is not "text" leaves it empty. Returns `out`.
QMSUPPORT_API QMWideString& ParseXMLText(const XmlDocument::XmlNode& node, QMWideString& out);

// The same for a template given as UTF-8 text. Text that does not begin with "<text>" is
// wrapped in a "text" element first, so a bare sequence of pieces renders too. Text that is not
// well-formed XML comes back converted to wide text, unrendered. Returns `out`.
QMSUPPORT_API QMWideString& ParseXMLText(const QMNarrowString& utf8, QMWideString& out);
