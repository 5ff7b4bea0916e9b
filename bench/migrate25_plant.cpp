// The end-to-end benchmark of `qmsupport migrate25`, in two parts (bench/migrate25.sh runs
// both under /usr/bin/time -v):
//
//   bench_migrate25_plant generate DIR   writes a big installation from before 2.5:
//       200 screens and 100 reports of about 200 KB, 50 styles, 20 backgrounds of
//       1920 x 1080 pixels used by 200 pages (each with a floodfill), 2,000 embedded images
//       and a legacy security file;
//   bench_migrate25_plant floor DIR      does the least any safe migration of it must do:
//       stages DIR with hard links beside it, loads and saves every XML file of the stage
//       once with the library, decodes the background of every page that names one, decodes
//       each embedded image and stores every image once (one encode each), then removes the
//       stage. Like the migration's stage, it skips the flush of each file and syncs once at
//       the end. It prints its own wall time.
#include "plant_bench.h"

#include <qmsupport/images/cx_file.h>
#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/image_xml.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/xml/xml_document.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kBackgrounds = 20;
constexpr int kBackgroundWidth = 1920;
constexpr int kBackgroundHeight = 1080;
constexpr int kPagesWithBackground = 200;  // the first page of each screen
constexpr int kEmbeddedImages = 2000;
constexpr size_t kDocumentSize = 200 * 1024;

// The image encoded in format `type` (1 BMP, 3 PNG).
std::string Encoded(CxImage& image, uint32_t type) {
    CxMemFile memory;
    memory.Open();
    if (!image.Encode(&memory, type)) {
        std::fprintf(stderr, "cannot encode an image\n");
        std::exit(1);
    }
    const long size = memory.Size();
    unsigned char* bytes = memory.GetBuffer(true);
    std::string data(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
    std::free(bytes);
    return data;
}

// A drawing of closed outlines on a plain ground, different for each `seed`, as PNG.
std::string Background(int seed) {
    CxImage image;
    image.Create(kBackgroundWidth, kBackgroundHeight, 24);
    const RGBQUAD ground{static_cast<uint8_t>(200 + seed), 230, 245, 0};
    const RGBQUAD line{0, 0, 0, 0};
    for (long y = 0; y < kBackgroundHeight; ++y) {
        for (long x = 0; x < kBackgroundWidth; ++x) {
            const bool outline = (x % (120 + seed)) < 2 || (y % (90 + seed)) < 2;
            image.SetPixelColor(x, y, outline ? line : ground);
        }
    }
    return Encoded(image, 3);
}

// A small picture, as base64 of its PNG.
std::string EmbeddedImage(int n) {
    CxImage image;
    image.Create(32, 32, 24);
    for (long y = 0; y < 32; ++y) {
        for (long x = 0; x < 32; ++x) {
            image.SetPixelColor(x, y,
                                RGBQUAD{static_cast<uint8_t>(n * 7), static_cast<uint8_t>(x * 8),
                                        static_cast<uint8_t>(y * 8), 0});
        }
    }
    const std::string png = Encoded(image, 3);
    QMNarrowString text;
    EncodeBase64(text, reinterpret_cast<const unsigned char*>(png.data()), png.size());
    return text.str();
}

// One control of each common kind, at a place given by `n`.
std::string Controls(int n) {
    const std::string at = "x=\"" + std::to_string(n % 250) + ".5\" y=\"" +
                           std::to_string(n % 180) + "\" width=\"20\" height=\"6\"";
    return "    <label " + at + " value=\"Label " + std::to_string(n) +
           "\" horizontalAlign=\"1\" verticalAlign=\"4\" font=\"Arial\" style=\"1\" "
           "size=\"10.00\" color=\"0000FF\"/>\n"
           "    <formule " +
           at + " value=\"[DEV" + std::to_string(n) +
           "#VI1]\" format=\"02.03\" thousandSeparator=\"T\"/>\n"
           "    <date " +
           at +
           " format=\"dd/mm/yyyy &quot;at&quot; hh:nn\"/>\n"
           "    <show " +
           at +
           "><logger mode=\"TABLE\" groupBy=\"DAY\" period=\"WEEK\">"
           "<var>[DEV" +
           std::to_string(n) +
           "#P]</var></logger></show>\n"
           "    <conditioned " +
           at +
           "><control condition=\"[DEV#ON]\"><label value=\"On\"/>"
           "</control><control condition=\"\"><formule value=\"[DEV#P]\" format=\"1.1\"/>"
           "</control></conditioned>\n"
           "    <screen " +
           at + " value=\"Screen" + std::to_string(n % plant_bench::kScreens) + ".xscn\"/>\n";
}

// A screen or report from before 2.5 of about kDocumentSize bytes; its first page names a
// background when `background` is not negative, and it embeds `images` pictures.
std::string Document(const std::string& name, int background, const std::string& image,
                     int images) {
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<design name=\"" + name +
                    "\" version=\"2.4\">\n  <page width=\"280\" height=\"160\" xgrid=\"5\"";
    if (background >= 0) {
        x += " backgroundFile=\"backgrounds\\back" + std::to_string(background) +
             ".png\" horizontalAlign=\"16\" verticalAlign=\"16\"";
    }
    x += ">\n";
    if (background >= 0) {
        x += "    <floodfill x=\"40\" y=\"40\" width=\"4\" height=\"4\" hotX=\"42\" hotY=\"44\">"
             "<control condition=\"[A#ON]\" color=\"FF0000\"/></floodfill>\n";
    }
    for (int i = 0; i < images; ++i) {
        x += "    <image x=\"1\" y=\"1\" width=\"8\" height=\"8\" value=\"" + image + "\"/>\n";
    }
    for (int n = 0; x.size() < kDocumentSize; ++n) {
        if (n == 150) {
            x += "  </page>\n  <page width=\"280\" height=\"160\">\n";
        }
        x += Controls(n);
    }
    return x + "  </page>\n  <formules><formule text=\"[A#B] + 1\"/></formules>\n</design>\n";
}

void Generate(const fs::path& plant) {
    fs::create_directories(plant / "Cfg/backgrounds");
    fs::create_directories(plant / "Data");
    fs::create_directories(plant / "Bin");
    plant_bench::Write(plant / "Cfg/default.xcfg",
                       "<?xml version=\"1.0\"?>\n<Configuration version=\"2.4\"><CommSystem/>"
                       "</Configuration>\n");
    for (int b = 0; b < kBackgrounds; ++b) {
        plant_bench::Write(plant / "Cfg/backgrounds" / ("back" + std::to_string(b) + ".png"),
                           Background(b));
    }
    const int documents = plant_bench::kScreens + plant_bench::kReports;
    for (int d = 0; d < documents; ++d) {
        const bool screen = d < plant_bench::kScreens;
        const std::string name = (screen ? "Screen" : "Report") + std::to_string(d);
        const int images = kEmbeddedImages / documents + (d < kEmbeddedImages % documents);
        plant_bench::Write(plant / "Cfg" / (name + (screen ? ".xscn" : ".xrpt")),
                           Document(name, d < kPagesWithBackground ? d % kBackgrounds : -1,
                                    EmbeddedImage(d), images));
    }
    for (int s = 0; s < plant_bench::kStyles; ++s) {
        plant_bench::Write(plant / "Cfg" / ("Style" + std::to_string(s) + ".xsty"),
                           "<?xml version=\"1.0\"?>\n<design name=\"Style" + std::to_string(s) +
                               "\" font=\"Arial\" style=\"3\" size=\"10.00\" color=\"0000FF\"/>\n");
    }
    plant_bench::Write(plant / "Cfg/security.cfg",
                       "Security { Profiles { Profile { Name = \"Operator\" Resources {\n"
                       "  Resource { Type = \"Alarm\" Name = \"View\" } } } } }\n");
}

// Staging with hard links, one load and save of every XML file, one decode per background
// reference and embedded image, one encode per stored image; then the stage goes.
void Floor(const fs::path& plant) {
    const auto start = std::chrono::steady_clock::now();
    const fs::path stage = plant.string() + ".floor-stage";
    plant_bench::StageWithLinks(plant, stage);
    // As in the migration's stage: the saves skip their flushes, and one sync ends the work.
    const qm::platform::DeferredFlush deferred;
    QMTarvioSetup setup;
    fs::create_directory(stage / "Cfg/Images");
    setup.SetImagesPath(qm::Wide((stage / "Cfg/Images/").string()));
    size_t xml = 0, decoded = 0, stored = 0;
    std::set<std::string> backgrounds;
    for (const auto& entry : fs::directory_iterator(stage / "Cfg")) {
        if (!entry.is_regular_file() || entry.path().extension() == ".cfg") {
            continue;
        }
        XmlDocument doc;
        if (!doc.Load(entry.path().wstring().c_str())) {
            std::fprintf(stderr, "cannot load %s\n", entry.path().c_str());
            std::exit(1);
        }
        ++xml;
        // The generator puts the background and the embedded pictures on the first page.
        const XmlDocument::XmlNode* page = doc.Node(L"page");
        const std::string file = page ? qm::Utf8(page->Value(L"backgroundFile", L"")) : "";
        if (!file.empty()) {
            const std::string path = fs::path(file.substr(file.find('\\') + 1)).string();
            CxImage image((stage / "Cfg/backgrounds" / path).c_str(), 0);
            image.IncreaseBpp(24);
            ++decoded;
            if (backgrounds.insert(path).second) {
                Image2XMLFile(qm::Wide(fs::path(path).stem().string()).c_str(), &image);
                ++stored;
            }
        }
        for (auto it = page ? page->ChildsBegin() : nullptr; page && it != page->ChildsEnd();
             ++it) {
            if ((*it)->Tag() != L"image") {
                continue;
            }
            QMNarrowString bytes;
            const std::string text = qm::Utf8((*it)->Value(L"value", L""));
            DecodeBase64String(bytes, text.c_str(), text.size());
            CxImage image(reinterpret_cast<const uint8_t*>(bytes.c_str()), bytes.Length(), 0);
            ++decoded;
            Image2XMLFile((L"image" + std::to_wstring(++stored)).c_str(), &image);
        }
        if (!doc.Save()) {
            std::fprintf(stderr, "cannot save %s\n", entry.path().c_str());
            std::exit(1);
        }
    }
    sync();
    fs::remove_all(stage);
    const double seconds = plant_bench::SecondsSince(start);
    std::printf(
        "floor: staged with hard links, %zu XML files loaded and saved, %zu images decoded, "
        "%zu stored: %.2f s\n",
        xml, decoded, stored, seconds);
}

}  // namespace

int main(int argc, char** argv) {
    return plant_bench::Main(argc, argv, Generate, Floor);
}
