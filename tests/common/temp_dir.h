#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A fresh directory below the system's temporary directory, removed with everything in it
// when the test ends.
class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qmplatformXXXXXX").string();
        if (mkdtemp(pattern.data())) {
            path_ = pattern;
        }
        EXPECT_FALSE(path_.empty());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The native path of `relative` below the directory.
    std::string Path(const std::string& relative = "") const { return path_ + "/" + relative; }
    std::wstring WidePath(const std::string& relative = "") const {
        std::string p = Path(relative);
        return std::wstring(p.begin(), p.end());
    }

    void MakeDirectory(const std::string& relative) const {
        std::filesystem::create_directories(Path(relative));
    }
    void WriteText(const std::string& relative, const std::string& text) const {
        std::ofstream(Path(relative), std::ios::binary) << text;
    }
    std::string ReadText(const std::string& relative) const {
        std::ifstream in(Path(relative), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool Exists(const std::string& relative) const {
        return std::filesystem::exists(std::filesystem::symlink_status(Path(relative)));
    }

  private:
    std::string path_;
};

// Makes `directory` the current directory for the lifetime of the object.
class CurrentDirectory {
  public:
    explicit CurrentDirectory(const std::string& directory)
        : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(directory);
    }
    ~CurrentDirectory() { std::filesystem::current_path(saved_); }

  private:
    std::filesystem::path saved_;
};
