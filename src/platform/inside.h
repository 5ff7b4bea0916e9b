#pragma once

// Whether one folder lies within another, on paths already resolved.

#include <filesystem>

namespace qm::platform {

// Whether `path` is `root` or lies below it, compared component by component on lexically
// normal absolute paths.
inline bool IsInside(const std::filesystem::path& path, const std::filesystem::path& root) {
    const std::filesystem::path relative =
        path.lexically_normal().lexically_relative(root.lexically_normal());
    return !relative.empty() && *relative.begin() != "..";
}

}  // namespace qm::platform
