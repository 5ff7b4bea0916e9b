// Renders arbitrary bytes as a UTF-8 text template: malformed XML, hostile placeholders in
// "textParams", absurd digit counts and patterns must neither crash nor overrun.

#include <qmsupport/text/parse_xml_text.h>
#include <qmsupport/toolsapi/locale_info.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLocaleName("de_DE");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QMNarrowString text(std::string(reinterpret_cast<const char*>(data), size));
    QMWideString out;
    ParseXMLText(text, out);
    return 0;
}
