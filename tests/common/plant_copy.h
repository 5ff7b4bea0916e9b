#pragma once

// A copy of a sample installation in a temporary folder, for the tests that migrate it, with
// its content as copied and the names found beside it.

#include "common/temp_dir.h"
#include "common/tree_snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

// The names in `folder`, sorted.
inline std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class PlantCopyTest : public ::testing::Test {
  protected:
    explicit PlantCopyTest(const char* sample) : sample_(sample) {}

    void SetUp() override {
        Recopy();
        original = Snapshot(plant);
    }

    // Replaces the installation by a fresh copy of the sample.
    void Recopy() const {
        std::filesystem::remove_all(plant);
        std::filesystem::copy(sample_, plant, std::filesystem::copy_options::recursive);
    }

    bool IsOriginal() const {
        return std::filesystem::exists(plant) && Snapshot(plant) == original;
    }

    // The names beside the installation that start with `prefix`.
    std::vector<std::string> Beside(const std::string& prefix) const {
        std::vector<std::string> names;
        for (const std::string& name : Names(dir.Path())) {
            if (name.rfind(prefix, 0) == 0) {
                names.push_back(name);
            }
        }
        return names;
    }

    TempDir dir;
    std::filesystem::path plant = dir.Path("plant");
    std::map<std::string, std::string> original;

  private:
    const char* sample_;
};
