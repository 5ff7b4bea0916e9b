// Conversion of a generated 100 MB legacy alarm history (about 8 million records over
// 200,000 occurrence numbers, each closed after three states) with AlarmQMCfgFile2EventsXml,
// against a floor that reads the same records and writes as many 41-byte records with no
// look-ups, through the same atomic file; and the front-first list search that the maps
// replace, on 200,000 records.
#include <qmsupport/legacy/transform_alarm_cfg_to_event_xml.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/setup/tarvio_setup.h>
#include <qmsupport/toolsapi/identifiers.h>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kNumbers = 200000;
constexpr uint64_t kRecords = 8000000;

void Put32(std::vector<char>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>(v >> shift));
    }
}

// The installation: bin (the current directory), DATA with the legacy history, data for
// the converted history and cfg for the events file.
struct Installation {
    std::filesystem::path root;
    QMTarvioSetup setup;

    Installation() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qmalmbenchXXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        root = pattern;
        for (const char* dir : {"bin", "DATA", "data", "cfg"}) {
            std::filesystem::create_directories(root / dir);
        }
        setup.SetCfgPath(QMWideString((root.wstring() + L"/cfg/").c_str()));
        setup.SetDataPath(QMWideString((root.wstring() + L"/data/").c_str()));
        // Passes of 200,000 records, one state each: 1, 2, 4, then a new occurrence.
        FILE* file = std::fopen((root / "DATA/Alarms1.alm").c_str(), "wb");
        std::fwrite("ALARM v1.0\n", 1, 11, file);
        std::vector<char> block;
        const uint8_t states[] = {1, 2, 4};
        for (uint64_t i = 0; i < kRecords; ++i) {
            const uint32_t number = static_cast<uint32_t>(i % kNumbers);
            Put32(block, number);
            Put32(block, static_cast<uint32_t>(i));
            Put32(block, number % 100);
            block.push_back(static_cast<char>(states[(i / kNumbers) % 3]));
            if (block.size() >= (1 << 20)) {
                std::fwrite(block.data(), 1, block.size(), file);
                block.clear();
            }
        }
        std::fwrite(block.data(), 1, block.size(), file);
        std::fclose(file);
        std::filesystem::current_path(root / "bin");
    }
    ~Installation() {
        std::filesystem::current_path("/");
        std::filesystem::remove_all(root);
    }
    std::filesystem::path Output() const { return root / "data/Events1.eve"; }
};

Installation& Plant() {
    static Installation plant;
    return plant;
}

void BM_ConvertAlarmHistory(benchmark::State& state) {
    Installation& plant = Plant();
    XmlDocument legacy;
    std::string alarms = "<legacy><Alarms>";
    for (int i = 0; i < 100; ++i) {
        alarms +=
            "<Alarm ShortText=\"A" + std::to_string(i) + "\" Id=\"" + std::to_string(i) + "\"/>";
    }
    if (!legacy.Parse((alarms + "</Alarms></legacy>").c_str())) {
        state.SkipWithError("the alarm configuration does not parse");
        return;
    }
    for (auto _ : state) {
        std::filesystem::remove(plant.Output());
        std::filesystem::remove(plant.root / "cfg/default.xeve");
        QMTransformAlarmCfgToEventXml().AlarmQMCfgFile2EventsXml(&legacy.Root());
    }
    if (std::filesystem::file_size(plant.Output()) != 11 + kRecords * 41) {
        state.SkipWithError("wrong output size");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (11 + kRecords * 13)));
}
BENCHMARK(BM_ConvertAlarmHistory)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

void BM_Floor(benchmark::State& state) {
    Installation& plant = Plant();
    for (auto _ : state) {
        FILE* in = std::fopen((plant.root / "DATA/Alarms1.alm").c_str(), "rb");
        qm::platform::AtomicFile out;
        if (!out.Open(plant.Output().string())) {
            std::fclose(in);
            state.SkipWithError("cannot write the output");
            return;
        }
        char header[11];
        std::fread(header, 1, 11, in);
        std::fwrite("EVENTv2.00", 1, 11, out.Stream());
        QMGUID guid;
        NewGUID(guid);
        unsigned char record[13];
        unsigned char event[41] = {};
        std::memcpy(event, &guid, 16);
        std::memcpy(event + 20, &guid, 16);
        while (std::fread(record, 1, 13, in) == 13) {
            std::memcpy(event + 16, record + 4, 4);
            event[36] = record[12];
            std::fwrite(event, 1, 41, out.Stream());
        }
        std::fclose(in);
        if (!out.Commit()) {
            state.SkipWithError("cannot write the output");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (11 + kRecords * 13)));
}
BENCHMARK(BM_Floor)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

// The literal search: open occurrences in a list, looked up from the front, on the first
// 200,000 records.
void BM_FrontFirstSearch(benchmark::State& state) {
    struct Occurrence {
        uint32_t number;
        uint8_t mask;
    };
    for (auto _ : state) {
        std::list<Occurrence> open;
        for (uint32_t i = 0; i < kNumbers; ++i) {
            auto it = open.begin();
            while (it != open.end() && it->number != i) {
                ++it;
            }
            if (it == open.end()) {
                open.push_back({i, 2});
            }
        }
        benchmark::DoNotOptimize(open.size());
    }
}
BENCHMARK(BM_FrontFirstSearch)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
