// Any XML document as a screen, a report and a style before 2.5, migrated with a temporary
// images directory: no crash, and each migrated document is written as XML that parses again.

#include <qmsupport/legacy/transform_scada_report_to25.h>
#include <qmsupport/legacy/transform_style_to25.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/xml/xml_document.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

QMTarvioSetup& Setup() {
    static QMTarvioSetup setup;
    static bool ready = [] {
        std::string pattern = "/tmp/qmscreen25XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        const std::wstring folder(pattern.begin(), pattern.end());
        setup.SetCfgPath(QMWideString(folder + L"/"));
        setup.SetImagesPath(QMWideString(folder + L"/"));
        static const std::string removed = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removed, ignored);
        });
        return true;
    }();
    (void)ready;
    return setup;
}

void MustReparse(const XmlDocument& document) {
    QMNarrowString text;
    XmlDocument again;
    if (!document.CreateXmlCode(text) || !again.Parse(text.c_str(), text.Length())) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    const char* text = reinterpret_cast<const char*>(data);
    for (const bool isScreen : {true, false}) {
        XmlDocument document;
        if (!document.Parse(text, size)) {
            return 0;
        }
        QMTransformScadaReportTo25().Transform(document, isScreen);
        MustReparse(document);
    }
    XmlDocument style;
    if (style.Parse(text, size)) {
        QMTransformStyleTo25().Transform(style);
        MustReparse(style);
    }
    return 0;
}
