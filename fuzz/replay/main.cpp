// Replays a corpus through a fuzz target without libFuzzer, so that the test suite reruns
// every seed and every input that ever found a fault: each file of the folder given as the
// only argument is passed to the target's LLVMFuzzerTestOneInput. A fault aborts the run.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
        return 2;
    }
    if (LLVMFuzzerInitialize) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    std::error_code error;
    size_t replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1], error)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string input((std::istreambuf_iterator<char>(in)), {});
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        ++replayed;
    }
    if (error || replayed == 0) {
        std::fprintf(stderr, "%s: no corpus in %s\n", argv[0], argv[1]);
        return 1;
    }
    std::printf("%zu inputs replayed\n", replayed);
    return 0;
}
