// Any input to the legacy reader: no crash, and a tree it accepts can be written as XML that
// parses again; expressions anywhere in it convert or give false.

#include "xml/xml_impl.h"

#include <qmsupport/xml/cfg_file_reader.h>
#include <qmsupport/xml/xml_document.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    XmlDocument document;
    if (!qm::xml::ParseLegacy(document,
                              std::string_view(reinterpret_cast<const char*>(data), size))) {
        return 0;
    }
    QMNarrowString text;
    XmlDocument again;
    if (!document.CreateXmlCode(text, true) || !again.Parse(text.c_str(), text.Length())) {
        std::abort();
    }
    QMWideString condition;
    Expression2Condition(condition, document.Root());
    for (auto it = document.Root().ChildsBegin(); it != document.Root().ChildsEnd(); ++it) {
        if (const XmlDocument::XmlNode* expression = (*it)->NodeUtf8("Expression")) {
            Expression2Condition(condition, *expression);
        }
    }
    return 0;
}
