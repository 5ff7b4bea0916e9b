// Any legacy text as a screen, converted into a temporary configuration directory: no crash,
// and the screen file written parses again.

#include "xml/xml_impl.h"

#include <qmsupport/legacy/transform_scada_cfg_to_xml.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/xml/xml_document.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

QMTarvioSetup& Setup() {
    static QMTarvioSetup setup;
    static bool ready = [] {
        std::string pattern = "/tmp/qmlegacyscreenXXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        setup.SetCfgPath(QMWideString(std::wstring(pattern.begin(), pattern.end()) + L"/"));
        static const std::string folder = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        });
        return true;
    }();
    (void)ready;
    return setup;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QMWideString& cfg = Setup().CfgPath();
    XmlDocument legacy;
    if (!qm::xml::ParseLegacy(legacy,
                              std::string_view(reinterpret_cast<const char*>(data), size))) {
        return 0;
    }
    QMNarrowString native;
    Utf16ToUtf8(native, (cfg + L"Fuzz.xscn").c_str());
    std::remove(native.c_str());
    QMTransformScadaCfgToXml().ModifyFormatScadaXml(L"Fuzz", legacy);
    XmlDocument screen;
    if (!screen.Load((cfg + L"Fuzz.xscn").c_str())) {
        std::abort();
    }
    return 0;
}
