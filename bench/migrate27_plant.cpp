// The end-to-end benchmark of `qmsupport migrate27`, in two parts (bench/migrate27.sh runs
// both under /usr/bin/time -v):
//
//   bench_migrate27_plant generate DIR   writes a big installation in the layout before 2.7:
//       2,000 devices (500 with names that are not identifiers) on 100 connections,
//       20 virtual devices of 50 variables, 200 screens and 100 reports of about 200 KB,
//       50 styles, events, security, and 20,000 dated history files;
//   bench_migrate27_plant floor DIR      does the least any safe migration must do: stages
//       DIR with hard links beside it, loads and saves every XML file of the stage once with
//       the library, then removes the stage. It prints its own wall time.
#include "plant_bench.h"

#include <qmsupport/platform/file_ops.h>
#include <qmsupport/xml/xml_document.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kDevices = 2000;
constexpr int kInvalidNames = 500;
constexpr int kConnections = 100;
constexpr int kVirtualDevices = 20;
constexpr int kVariables = 50;
constexpr size_t kSideFileSize = 200 * 1024;
constexpr int kHistoryMonths = 10;  // 2,000 devices x 10 months: 20,000 history files

// Devices 0 to 499 carry a space in their name ("Meter 17"), the others are identifiers.
std::string DeviceName(int i) {
    return i < kInvalidNames ? "Meter " + std::to_string(i) : "Feeder" + std::to_string(i);
}

std::string MainConfiguration() {
    static const char* kTypes[] = {"RS", "TCP", "UDP", "ModbusTCP"};
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configuration version=\"2.6\">\n"
        "  <CommSystem>\n    <Connections>\n";
    for (int c = 0; c < kConnections; ++c) {
        x += "      <Connection Name=\"Line " + std::to_string(c) + "\" Type=\"" + kTypes[c % 4] +
             "\" Address=\"192.0.2." + std::to_string(c) + "\" Port=\"4001\" TimeOut=\"1000\"/>\n";
    }
    x += "    </Connections>\n    <Devices>\n";
    for (int d = 0; d < kDevices; ++d) {
        x += "      <Device Id=\"" + DeviceName(d) + "\" Driver=\"MTR200\" Connection=\"Line " +
             std::to_string(d % kConnections) + "\" Address=\"" + std::to_string(d / 100 + 1) +
             "\" Description=\"Meter of feeder " + std::to_string(d) + "\"" +
             (d % 100 == 0 ? " STDPath=\"..\\Data\\Archive\\\"" : "") +
             "><Period>15</Period></Device>\n";
    }
    for (int v = 0; v < kVirtualDevices; ++v) {
        x += "      <Device Id=\"CALC" + std::to_string(v) +
             "\" Driver=\"VIRTUAL\" Description=\"Calculated\">\n        <Variables>\n";
        for (int i = 0; i < kVariables; ++i) {
            x += "          <Variable Id=\"V" + std::to_string(i) + "\" Name=\"Sum " +
                 std::to_string(i) + "\" Units=\"kW\" SampleMode=\"1\" Value=\"[" + DeviceName(i) +
                 ".PAI]+[" + DeviceName(i + 1000) + ".PAI]\"/>\n";
        }
        x += "        </Variables>\n      </Device>\n";
    }
    x += "    </Devices>\n  </CommSystem>\n  <DeviceGroups>\n    <Groups>\n";
    for (int g = 0; g < 20; ++g) {
        x += "      <Group Name=\"Area " + std::to_string(g) + "\"><Devices>";
        for (int d = g; d < kDevices; d += 20) {
            x += "<Device Id=\"" + DeviceName(d) + "\"/>";
        }
        x += "</Devices></Group>\n";
    }
    x += "    </Groups>\n  </DeviceGroups>\n  <ViewSetups>\n";
    for (int d = 0; d < kDevices; d += 4) {
        x += "    <ViewSetup DriverId=\"" + DeviceName(d) +
             "\"><Check Var=\"VI1\"/><Check Var=\"PAI\"/></ViewSetup>\n";
    }
    x += "  </ViewSetups>\n  <UnitSetups>\n";
    for (int v = 0; v < kVirtualDevices; ++v) {
        x += "    <UnitSetup DriverId=\"CALC" + std::to_string(v) +
             "\"><Unit Name=\"V1\" Decimals=\"2\"/></UnitSetup>\n";
    }
    return x + "  </UnitSetups>\n</Configuration>\n";
}

// A screen or report of about 200 KB whose controls show device and calculated variables.
std::string SideFile(const char* root, int n) {
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + std::string(root) +
                    " version=\"2.5\" width=\"1024\" height=\"768\">\n";
    for (int page = 0; x.size() < kSideFileSize; ++page) {
        x += "  <page name=\"Page " + std::to_string(page) + "\">\n";
        for (int c = 0; c < 40; ++c) {
            const int d = (n * 37 + page * 40 + c) % kDevices;
            x += "    <label style=\"Style" + std::to_string(c % plant_bench::kStyles) + "\" x=\"" +
                 std::to_string(c * 10) + "\" y=\"10\" width=\"200\" height=\"20\">" +
                 DeviceName(d) + "</label>\n    <formule style=\"Style" +
                 std::to_string((c + 1) % plant_bench::kStyles) +
                 "\" x=\"220\" y=\"10\" width=\"80\" height=\"20\"><expression>[" + DeviceName(d) +
                 ".VI1]+[CALC" + std::to_string(c % kVirtualDevices) + ".V" +
                 std::to_string(c % kVariables) + "]</expression></formule>\n";
        }
        x += "  </page>\n";
    }
    return x + "</" + root + ">\n";
}

void Generate(const fs::path& plant) {
    fs::create_directories(plant / "Bin");
    fs::create_directories(plant / "Cfg");
    fs::create_directories(plant / "Data/Archive");
    plant_bench::Write(plant / "Bin/scada.xcfg", "<scada/>\n");
    plant_bench::Write(plant / "Cfg/default.xcfg", MainConfiguration());
    for (int s = 0; s < plant_bench::kScreens; ++s) {
        plant_bench::Write(plant / "Cfg" / ("Screen " + std::to_string(s) + ".xscn"),
                           SideFile("screen", s));
    }
    for (int r = 0; r < plant_bench::kReports; ++r) {
        plant_bench::Write(plant / "Cfg" / ("Report " + std::to_string(r) + ".xrpt"),
                           SideFile("report", r));
    }
    for (int s = 0; s < plant_bench::kStyles; ++s) {
        plant_bench::Write(plant / "Cfg" / ("Style" + std::to_string(s) + ".xsty"),
                           "<?xml version=\"1.0\"?>\n<style id=\"Style" + std::to_string(s) +
                               "\" version=\"2.5\"><font name=\"Arial\" size=\"10\"/></style>\n");
    }
    std::string events = "<?xml version=\"1.0\"?>\n<events>\n";
    for (int d = 0; d < kDevices; d += 10) {
        events += "  <event id=\"E" + std::to_string(d) + "\"><condition>[" + DeviceName(d) +
                  ".VI1] &gt; 250</condition><device>" + DeviceName(d) + "</device></event>\n";
    }
    plant_bench::Write(plant / "Cfg/default.xeve", events + "</events>\n");
    std::string security =
        "<?xml version=\"1.0\"?>\n<SecurityConfiguration version=\"2.6\"><Security><Profiles>"
        "<Profile Name=\"Operator\"><Resources>";
    for (int d = 0; d < kDevices; d += 50) {
        security += "<Resource Type=\"Device\" Name=\"" + DeviceName(d) + "\"/>";
    }
    plant_bench::Write(plant / "Cfg/Security.xcfg",
                       security +
                           "<Resource Type=\"Screen\" Name=\"Screen 1\"/><Resource Type=\"Device\" "
                           "Name=\"CALC1\"/></Resources></Profile></Profiles></Security>"
                           "</SecurityConfiguration>\n");
    const std::string record(256, 'h');
    for (int d = 0; d < kDevices; ++d) {
        // The devices with a history path keep theirs there, the others in Data.
        const fs::path folder = plant / (d % 100 == 0 ? "Data/Archive" : "Data");
        for (int m = 1; m <= kHistoryMonths; ++m) {
            char name[64];
            std::snprintf(name, sizeof name, "_%02d_2008.std", m);
            plant_bench::Write(folder / (DeviceName(d) + name), record);
        }
    }
}

// Staging with hard links plus one load and save of every XML file, then the stage goes.
void Floor(const fs::path& plant) {
    const auto start = std::chrono::steady_clock::now();
    const fs::path stage = plant.string() + ".floor-stage";
    plant_bench::StageWithLinks(plant, stage);
    // As in the migration's stage: the saves skip their flushes, and one sync ends the work.
    const qm::platform::DeferredFlush deferred;
    size_t xml = 0;
    for (const auto& entry : fs::directory_iterator(stage / "Cfg")) {
        XmlDocument doc;
        if (!doc.Load(entry.path().wstring().c_str()) || !doc.Save()) {
            std::fprintf(stderr, "cannot load and save %s\n", entry.path().c_str());
            std::exit(1);
        }
        ++xml;
    }
    sync();
    fs::remove_all(stage);
    const double seconds = plant_bench::SecondsSince(start);
    std::printf("floor: staged with hard links, %zu XML files loaded and saved: %.2f s\n", xml,
                seconds);
}

}  // namespace

int main(int argc, char** argv) {
    return plant_bench::Main(argc, argv, Generate, Floor);
}
