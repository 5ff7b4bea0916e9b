#pragma once

#include <qmsupport/xml/xml_document.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

// A document's XML without the declaration and without the writer's line breaks and
// indentation, with every GUID written as "{G}", for comparing with expected text.
inline std::string DocumentText(const XmlDocument& document) {
    QMNarrowString out;
    EXPECT_TRUE(document.CreateXmlCode(out, false));
    std::string text;
    for (const char c : out.str()) {
        if (c != '\n' && c != '\t') {
            text += c;
        }
    }
    static const std::regex guid(
        "\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
    return std::regex_replace(text, guid, "{G}");
}

inline std::string DocumentText(const XmlDocument::XmlNode& node) {
    return DocumentText(XmlDocument(node));
}

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
