#pragma once

#include <qmsupport/xml/xml_document.h>

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

inline const std::regex& GuidPattern() {
    static const std::regex guid(
        "\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
    return guid;
}

// A document's XML without the declaration and without the writer's line breaks and
// indentation.
inline std::string FlatText(const XmlDocument& document) {
    QMNarrowString out;
    EXPECT_TRUE(document.CreateXmlCode(out, false));
    std::string text;
    for (const char c : out.str()) {
        if (c != '\n' && c != '\t') {
            text += c;
        }
    }
    return text;
}

// The flat text with every GUID written as "{G}", for comparing with expected text.
inline std::string DocumentText(const XmlDocument& document) {
    return std::regex_replace(FlatText(document), GuidPattern(), "{G}");
}

inline std::string DocumentText(const XmlDocument::XmlNode& node) {
    return DocumentText(XmlDocument(node));
}

// The text with each GUID replaced by "{GUID<n>}", n counting the distinct GUIDs in order of
// first appearance, so that a fresh run compares with expected text and references between
// GUIDs show.
inline std::string NumberedGuids(const std::string& text) {
    std::map<std::string, int> numbers;
    std::string out;
    size_t last = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), GuidPattern());
         it != std::sregex_iterator(); ++it) {
        const int number = numbers.emplace(it->str(), int(numbers.size()) + 1).first->second;
        out += text.substr(last, size_t(it->position()) - last);
        out += "{GUID" + std::to_string(number) + "}";
        last = size_t(it->position() + it->length());
    }
    return out + text.substr(last);
}

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
