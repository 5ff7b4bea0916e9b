// Loading and saving a 50 MB configuration: XmlDocument::Load and SaveAs against a bare parse
// of the same buffer by pugixml, by libxml2's SAX2 push parser with empty handlers (the
// parser under Load) and by expat, and against `xmllint --noout` on the same file.
// The peak memory of a Load is measured in a fresh process (this program run with
// --peak-load FILE) and reported as counters of BM_LoadPeakMemory; --make-config FILE writes
// the configuration for measuring by hand (/usr/bin/time -v bench_xml_load --peak-load FILE).

#include <qmsupport/xml/xml_document.h>

#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#if __has_include(<expat.h>)
#include <expat.h>
#define HAVE_EXPAT 1
#endif
#if __has_include(<pugixml.hpp>)
#include <pugixml.hpp>
#define HAVE_PUGIXML 1
#endif

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace {

constexpr size_t kTargetBytes = 50u << 20;

// Devices with a GUID, a description and eight variables of six attributes each: the shape
// of a plant's main configuration.
std::string MakeConfiguration() {
    std::mt19937 engine(7);
    auto random = [&engine] { return static_cast<unsigned>(engine()); };
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configuration version=\"2.7\">\n"
        " <CommSystem>\n";
    char line[512];
    for (unsigned device = 1; text.size() < kTargetBytes; ++device) {
        std::snprintf(line, sizeof line,
                      "  <Device Name=\"METER%u\" Id=\"{%08X-%04X-4%03X-A%03X-%012llX}\" "
                      "DriverId=\"%u\" Address=\"%u\" Enabled=\"T\">\n"
                      "   <Description>Meter &amp; feeder %u</Description>\n   <Variables>\n",
                      device, random(), random() & 0xFFFF, random() & 0xFFF, random() & 0xFFF,
                      static_cast<unsigned long long>(random()) << 16, random() % 66,
                      random() % 247 + 1, device);
        text += line;
        for (unsigned v = 0; v < 8; ++v) {
            std::snprintf(line, sizeof line,
                          "    <Variable Id=\"VI%u\" Name=\"Voltage L%u\" Units=\"V\" "
                          "Decimals=\"2\" SampleMode=\"AVG\" Value=\"%u.%02u\"/>\n",
                          v, v, random() % 400, random() % 100);
            text += line;
        }
        text += "   </Variables>\n  </Device>\n";
    }
    text += " </CommSystem>\n</Configuration>\n";
    return text;
}

struct Fixture {
    std::string directory;
    std::string path;
    std::wstring widePath;
    std::wstring wideCopy;
    std::string text;

    Fixture() {
        char pattern[] = "/tmp/bench_xml_XXXXXX";
        directory = mkdtemp(pattern);
        path = directory + "/configuration.xml";
        text = MakeConfiguration();
        std::ofstream(path, std::ios::binary) << text;
        widePath.assign(path.begin(), path.end());
        std::string copy = directory + "/saved.xml";
        wideCopy.assign(copy.begin(), copy.end());
    }
    ~Fixture() { std::system(("rm -rf '" + directory + "'").c_str()); }
};

Fixture& Data() {
    static Fixture fixture;
    return fixture;
}

void BM_Load(benchmark::State& state) {
    Fixture& data = Data();
    for (auto _ : state) {
        XmlDocument document;
        if (!document.Load(data.widePath.c_str())) {
            state.SkipWithError("Load failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.text.size()));
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_LoadSaveAs(benchmark::State& state) {
    Fixture& data = Data();
    for (auto _ : state) {
        XmlDocument document;
        if (!document.Load(data.widePath.c_str()) || !document.SaveAs(data.wideCopy.c_str())) {
            state.SkipWithError("Load or SaveAs failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.text.size()));
}
BENCHMARK(BM_LoadSaveAs)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_Libxml2Sax2EmptyHandlers(benchmark::State& state) {
    Fixture& data = Data();
    constexpr size_t kPiece = 1024 * 1024;  // as Load feeds it
    for (auto _ : state) {
        xmlSAXHandler handler{};
        handler.initialized = XML_SAX2_MAGIC;
        xmlParserCtxtPtr context = xmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr);
        xmlCtxtUseOptions(context, XML_PARSE_NONET | XML_PARSE_HUGE);
        for (size_t at = 0; at < data.text.size(); at += kPiece) {
            size_t piece = std::min(kPiece, data.text.size() - at);
            xmlParseChunk(context, data.text.data() + at, static_cast<int>(piece),
                          at + piece == data.text.size());
        }
        bool ok = context->wellFormed;
        xmlFreeParserCtxt(context);
        if (!ok) {
            state.SkipWithError("libxml2 failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.text.size()));
}
BENCHMARK(BM_Libxml2Sax2EmptyHandlers)->Unit(benchmark::kMillisecond)->MinTime(3);

#ifdef HAVE_EXPAT
void BM_ExpatBareParse(benchmark::State& state) {
    Fixture& data = Data();
    for (auto _ : state) {
        XML_Parser parser = XML_ParserCreate(nullptr);
        bool ok = XML_Parse(parser, data.text.data(), static_cast<int>(data.text.size()), 1) ==
                  XML_STATUS_OK;
        XML_ParserFree(parser);
        if (!ok) {
            state.SkipWithError("expat failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.text.size()));
}
BENCHMARK(BM_ExpatBareParse)->Unit(benchmark::kMillisecond)->MinTime(3);
#endif

#ifdef HAVE_PUGIXML
void BM_PugixmlBareParse(benchmark::State& state) {
    Fixture& data = Data();
    for (auto _ : state) {
        pugi::xml_document document;
        if (!document.load_buffer(data.text.data(), data.text.size())) {
            state.SkipWithError("pugixml failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.text.size()));
}
BENCHMARK(BM_PugixmlBareParse)->Unit(benchmark::kMillisecond)->MinTime(3);
#endif

// Runs a program to its end; false when it cannot be run or fails.
bool Run(const char* program, char* const argv[]) {
    pid_t pid = fork();
    if (pid == 0) {
        execvp(program, argv);
        _exit(127);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

void BM_XmllintNoout(benchmark::State& state) {
    Fixture& data = Data();
    for (auto _ : state) {
        char* argv[] = {const_cast<char*>("xmllint"), const_cast<char*>("--noout"),
                        data.path.data(), nullptr};
        if (!Run("xmllint", argv)) {
            state.SkipWithError("xmllint --noout failed or is missing");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.text.size()));
}
BENCHMARK(BM_XmllintNoout)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// The peak resident memory of a fresh process that loads the file once.
void BM_LoadPeakMemory(benchmark::State& state) {
    Fixture& data = Data();
    double peakBytes = 0;
    for (auto _ : state) {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) {
            state.SkipWithError("pipe failed");
            break;
        }
        pid_t pid = fork();
        if (pid == 0) {
            dup2(pipeEnds[1], STDOUT_FILENO);
            execl("/proc/self/exe", "bench_xml_load", "--peak-load", data.path.c_str(), nullptr);
            _exit(127);
        }
        close(pipeEnds[1]);
        char reply[64] = {};
        ssize_t n = read(pipeEnds[0], reply, sizeof reply - 1);
        close(pipeEnds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        if (n <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the measuring process failed");
            break;
        }
        peakBytes = std::atof(reply) * 1024;
    }
    state.counters["peak_MB"] = peakBytes / (1 << 20);
    state.counters["peak_per_file_byte"] = peakBytes / static_cast<double>(data.text.size());
}
BENCHMARK(BM_LoadPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--make-config") == 0) {
        std::ofstream out(argv[2], std::ios::binary);
        out << MakeConfiguration();
        return out.good() ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "--peak-load") == 0) {
        std::string path = argv[2];
        std::wstring widePath(path.begin(), path.end());
        XmlDocument document;
        if (!document.Load(widePath.c_str())) {
            return 1;
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%ld\n", usage.ru_maxrss);  // kilobytes
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
