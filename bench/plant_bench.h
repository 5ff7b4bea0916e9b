#pragma once

// Shared by the end-to-end migration benchmarks (bench_migrate25_plant, bench_migrate27_plant):
// their command line, and the hard-linked stage their floors start with.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace plant_bench {

namespace fs = std::filesystem;

// Both plants hold as many screens, reports and styles.
constexpr int kScreens = 200;
constexpr int kReports = 100;
constexpr int kStyles = 50;

// Writes a file of the generated plant; a failure ends the program.
inline void Write(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        std::exit(1);
    }
}

// Builds `stage` anew as a replica of `plant` made of hard links.
inline void StageWithLinks(const fs::path& plant, const fs::path& stage) {
    fs::remove_all(stage);
    fs::create_directory(stage);
    for (auto it = fs::recursive_directory_iterator(plant);
         it != fs::recursive_directory_iterator(); ++it) {
        const fs::path target = stage / it->path().lexically_relative(plant);
        if (it->is_directory()) {
            fs::create_directory(target);
        } else {
            fs::create_hard_link(it->path(), target);
        }
    }
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// `PROGRAM generate DIR` writes a plant, `PROGRAM floor DIR` measures the floor on one.
inline int Main(int argc, char** argv, void (*generate)(const fs::path&),
                void (*floor)(const fs::path&)) {
    if (argc != 3 || (std::strcmp(argv[1], "generate") && std::strcmp(argv[1], "floor"))) {
        std::fprintf(stderr, "usage: %s generate|floor DIR\n", argv[0]);
        return 2;
    }
    (std::strcmp(argv[1], "generate") == 0 ? generate : floor)(argv[2]);
    return 0;
}

}  // namespace plant_bench
