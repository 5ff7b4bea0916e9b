#include <qmsupport/legacy/style_record.h>

#include <qmsupport/toolsapi/codecs.h>

#include "legacy/legacy_text.h"

namespace {

const wchar_t* StyleWord(int32_t style) {
    switch (style) {
        case 1:
            return L"BOLD";
        case 2:
            return L"ITALIC";
        case 3:
            return L"ITALICBOLD";
        default:
            return L"NORMAL";
    }
}

}  // namespace

bool StyleRecord::Read(const XmlDocument::XmlNode* node) {
    const XmlDocument::XmlNode* styleFileNode = node->Node(L"styleFile");
    const XmlDocument::XmlNode* fontNode = node->Node(L"font");
    if (styleFileNode != nullptr) {
        styleFile = styleFileNode->Value();
    }
    if (fontNode != nullptr) {
        font = fontNode->Value();
        if (const XmlDocument::XmlNode* key = node->Node(L"style")) {
            style = Wtoi(key->Value().view());
        }
        if (const XmlDocument::XmlNode* key = node->Node(L"size")) {
            size = qm::legacy::Decimal(key->Value());
        }
        if (const XmlDocument::XmlNode* key = node->Node(L"orientation")) {
            orientation = qm::legacy::Decimal(key->Value());
        }
        if (const XmlDocument::XmlNode* key = node->Node(L"color")) {
            color = static_cast<uint32_t>(qm::legacy::Hexadecimal(key->Value()));
        }
    }
    valid = styleFileNode != nullptr || fontNode != nullptr;
    return valid;
}

bool StyleRecord::Write(XmlDocument::XmlNode* node) const {
    if (!valid) {
        return true;
    }
    if (!styleFile.IsEmpty()) {
        if (XmlDocument::XmlNode* element = node->NewChild(L"style")) {
            element->SetValue(styleFile.c_str());
        }
    }
    if (font.IsEmpty()) {
        return false;
    }
    XmlDocument::XmlNode* element = node->NewChild(L"font");
    if (element == nullptr) {
        return false;
    }
    element->SetValue(L"name", font.c_str());
    element->SetValue(L"style", StyleWord(style));
    element->SetValue(L"size", qm::legacy::FormatInteger(qm::legacy::Truncate(size)).c_str());
    element->SetValue(L"color", qm::legacy::FormatColour(color).c_str());
    element->SetValue(L"orientation", qm::legacy::Format2(orientation).c_str());
    return true;
}
