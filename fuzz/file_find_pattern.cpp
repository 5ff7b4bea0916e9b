// Searches a small fixed directory with arbitrary patterns and translates arbitrary paths
// below it: wildcards, separators, dots and malformed text must neither crash nor hang.

#include <qmsupport/platform/file_find.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/toolsapi/codecs.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// The fixture lives for the whole run and is removed at exit.
struct Fixture {
    std::string root;
    std::wstring directory;  // the system form, ending in a separator

    Fixture() {
        root = (std::filesystem::temp_directory_path() / "qmfuzzXXXXXX").string();
        if (!mkdtemp(root.data())) {
            std::abort();
        }
        std::filesystem::create_directories(root + "/Cfg/2008/03");
        for (const char* name : {"Main.xscn", "X.Q1.Summary.xrpt", "README", ".hidden",
                                 "\xC3\x84rger", "bad\xFF\xFEname", "METER1 03-2008.dat"}) {
            std::ofstream(root + "/Cfg/" + name) << "x";
        }
        QMWideString wide;
        Utf8ToUtf16(wide, root.c_str());
        directory = wide.str() + L"\\";
    }
    ~Fixture() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Fixture fixture;
    QMWideString tail;
    Utf8ToUtf16(tail, reinterpret_cast<const char*>(data), size);
    const std::wstring path = fixture.directory + tail.str();
    qm::platform::FileFind find;
    if (find.FindFile(path.c_str())) {
        while (find.FindNextFile()) {
            if (find.Current().path.Length() < find.Current().name.Length()) {
                std::abort();
            }
        }
    }
    qm::platform::NativePath(path.c_str());
    return 0;
}
