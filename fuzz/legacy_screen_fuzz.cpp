// Any legacy text as the one screen of an application, converted into a temporary
// configuration directory: no crash, and a screen file written parses again.

#include <qmsupport/legacy/transform_scada_cfg_to_xml.h>
#include <qmsupport/platform/app_path.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/xml/xml_document.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// The installation: the program in bin, the application listing Fuzz.scr in cfg/scada, and
// the converted screen written to cfg.
const std::filesystem::path& Installation() {
    static QMTarvioSetup setup;
    static std::filesystem::path root;
    if (root.empty()) {
        std::string pattern = "/tmp/qmlegacyscreenXXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        root = pattern;
        std::filesystem::create_directories(root / "bin");
        std::filesystem::create_directories(root / "cfg/scada");
        std::ofstream(root / "cfg/scada/default.apl")
            << "Screens { Screen { File = \"Fuzz.scr\" } }\n";
        setup.SetCfgPath(QMWideString((root / "cfg/").wstring()));
        qm::platform::SetAppPath((root / "bin/").wstring().c_str());
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(root, ignored);
        });
    }
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path& root = Installation();
    const std::filesystem::path screen = root / "cfg/Fuzz.xscn";
    std::error_code ignored;
    std::filesystem::remove(screen, ignored);
    std::ofstream(root / "cfg/scada/Fuzz.scr", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    // The application file is looked for from the current directory, the program's folder
    // in an installation. The fuzzer's own relative paths need the directory back after.
    const std::filesystem::path fuzzer = std::filesystem::current_path();
    std::filesystem::current_path(root / "bin");
    QMTransformScadaCfgToXml().ScadaQMCfgFile2Xml(nullptr);
    std::filesystem::current_path(fuzzer);
    XmlDocument converted;
    if (std::filesystem::exists(screen, ignored) && !converted.Load(screen.wstring().c_str())) {
        std::abort();
    }
    return 0;
}
