#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/xml/xml_document.h>

// Reads a legacy configuration file into `document` (root element "legacy") and names the
// document `xmlPath`, so that Save() writes the converted file there.
[[nodiscard]] QMSUPPORT_API bool QMCfgFile2XmlDocument(const wchar_t* legacyPath,
                                                       const wchar_t* xmlPath,
                                                       XmlDocument& document) noexcept;

// Writes a legacy expression node ("Expression" block) as condition text.
QMSUPPORT_API bool Expression2Condition(QMWideString& out,
                                        const XmlDocument::XmlNode& node) noexcept;
