// Any input: parsing must not crash, and a parsed document must be written as text that
// parses again into the same document.

#include <qmsupport/xml/xml_document.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    XmlDocument document;
    if (!document.Parse(input.data(), input.size())) {
        return 0;
    }
    // The first line doubles as a path into the tree.
    std::string_view path = input.substr(0, input.find('\n'));
    if (const XmlDocument::XmlNode* node = document.Root().NodeUtf8(path.substr(0, 64))) {
        (void)node->ValueUtf8();
    }
    QMNarrowString text;
    if (!document.CreateXmlCode(text, true)) {
        std::abort();
    }
    XmlDocument again;
    if (!again.Parse(text.c_str(), text.Length())) {
        std::abort();
    }
    QMNarrowString textAgain;
    if (!again.CreateXmlCode(textAgain, true) || textAgain != text) {
        std::abort();
    }
    XmlDocument copy(again.Root());
    return 0;
}
