#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>

// Every file and folder below `root`, with the content of the files.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::ifstream in(entry.path(), std::ios::binary);
        tree[entry.path().lexically_relative(root).string()] =
            entry.is_directory() ? "<dir>" : std::string(std::istreambuf_iterator<char>(in), {});
    }
    return tree;
}

// The inodes of the regular files below `root`.
inline std::set<std::pair<dev_t, ino_t>> Inodes(const std::filesystem::path& root) {
    std::set<std::pair<dev_t, ino_t>> inodes;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        struct stat st;
        if (lstat(entry.path().c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            inodes.emplace(st.st_dev, st.st_ino);
        }
    }
    return inodes;
}

// Whether any regular file below `a` is the same file as one below `b`.
inline bool SharesFiles(const std::filesystem::path& a, const std::filesystem::path& b) {
    const auto left = Inodes(a);
    for (const auto& inode : Inodes(b)) {
        if (left.count(inode) != 0) {
            return true;
        }
    }
    return false;
}
