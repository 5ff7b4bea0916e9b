// The cost of the Windows path rules on Linux: translating a path whose components exist
// exactly or differ in case, wildcard searches in directories of growing size, and atomic
// file writes.

#include <qmsupport/platform/file_find.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A directory "Cfg" holding `count` screen files and as many data files.
class Fixture {
  public:
    explicit Fixture(int count) {
        std::string pattern = (std::filesystem::temp_directory_path() / "qmbenchXXXXXX").string();
        root_ = mkdtemp(pattern.data()) ? pattern : std::string();
        std::filesystem::create_directories(root_ + "/Cfg");
        for (int i = 0; i < count; ++i) {
            std::ofstream(root_ + "/Cfg/Screen" + std::to_string(i) + ".xscn") << "x";
            std::ofstream(root_ + "/Cfg/METER" + std::to_string(i) + "_03_2008.dat") << "x";
        }
    }
    ~Fixture() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    std::wstring Wide(const std::string& tail) const {
        std::string path = root_ + tail;
        return std::wstring(path.begin(), path.end());
    }

  private:
    std::string root_;
};

void NativePathExact(benchmark::State& state) {
    Fixture fixture(static_cast<int>(state.range(0)));
    const std::wstring path = fixture.Wide("\\Cfg\\Screen7.xscn");
    for (auto _ : state) {
        benchmark::DoNotOptimize(qm::platform::NativePath(path.c_str()));
    }
}
BENCHMARK(NativePathExact)->Arg(100)->Arg(10000);

void NativePathOtherCase(benchmark::State& state) {
    Fixture fixture(static_cast<int>(state.range(0)));
    const std::wstring path = fixture.Wide("\\cfg\\SCREEN7.XSCN");
    for (auto _ : state) {
        benchmark::DoNotOptimize(qm::platform::NativePath(path.c_str()));
    }
}
BENCHMARK(NativePathOtherCase)->Arg(100)->Arg(10000);

void FindScreens(benchmark::State& state) {
    Fixture fixture(static_cast<int>(state.range(0)));
    const std::wstring pattern = fixture.Wide("\\Cfg\\*.XSCN");
    for (auto _ : state) {
        qm::platform::FileFind find;
        benchmark::DoNotOptimize(find.FindFile(pattern.c_str()));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(FindScreens)->Arg(100)->Arg(10000);

void WriteAtomic(benchmark::State& state) {
    Fixture fixture(0);
    const std::wstring wide = fixture.Wide("/Cfg/out.xml");
    const std::string path(wide.begin(), wide.end());
    const std::string data(static_cast<size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        benchmark::DoNotOptimize(qm::platform::WriteFileAtomic(path, data));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(WriteAtomic)->Arg(4096)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
