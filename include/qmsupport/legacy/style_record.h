#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/xml/xml_document.h>

#include <cstdint>

// The look of a text. Before 2.5 it was stored as flat keys of the element that carries it
// ("font", "style", "size", "color", "orientation", and "styleFile" for a style file it
// refers to); from 2.5 on it is a child "font" with named values and a child "style" naming
// the style file.
struct QMSUPPORT_API StyleRecord {
    bool valid = false;  // whether the last Read found anything
    int32_t style = 0;   // 0 normal, 1 bold, 2 italic, 3 italic and bold
    QMWideString font;   // face name
    double size = 3.0;
    uint32_t color = 0;        // as read from hexadecimal text
    double orientation = 0.0;  // text angle
    QMWideString styleFile;

    // Fills the record from the old keys of `node`. "style", "size", "orientation" and
    // "color" count only with "font"; absent keys keep their values. True when `node` has
    // "styleFile" or "font".
    bool Read(const XmlDocument::XmlNode* node);
    // Adds the 2.5 children to `node`: "style" when styleFile is set, then "font". True
    // without writing when the record is not valid; false when it has no font.
    bool Write(XmlDocument::XmlNode* node) const;
};
