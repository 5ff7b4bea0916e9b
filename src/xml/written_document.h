#pragma once

// A document written as XML text together with the place of each of its values in the text,
// for work done on the text whose result can be carried back into the tree without reading
// the text again.

#include <qmsupport/xml/xml_document.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm::xml {

struct WrittenValue {
    XmlDocument::XmlNode* node;
    size_t begin;  // the value's escaped text in WrittenDocument::text
    size_t end;
};

struct WrittenDocument {
    std::string text;  // as CreateXmlCode(text, false) writes it
    // Every value that the text holds (attribute values and element texts, empty ones too),
    // in text order.
    std::vector<WrittenValue> values;
    // Whether reading the text back gives the same tree: the same nodes in the same order,
    // keys and elements alike, with the same values. Only then may a change to the text that
    // stays inside values be made to the tree's values instead.
    bool readsBack = false;
};

// Writes the document; false, with an empty text and no values, when it cannot be written or
// memory runs out.
bool WriteDocument(XmlDocument& document, WrittenDocument& written) noexcept;

// Sets the node's value from text escaped as the writer escapes values: the writer's
// references become the characters they stand for.
void SetEscapedValue(XmlDocument::XmlNode& node, std::string_view escaped);

// Whether `escaped` is exactly what the writer writes for the text it stands for: well-formed
// UTF-8 of XML characters, with the writer's references where the writer puts them.
bool IsWrittenForm(std::string_view escaped);

}  // namespace qm::xml
