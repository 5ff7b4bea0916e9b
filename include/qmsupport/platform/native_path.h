#pragma once

#include <qmsupport/export.h>

#include <string>

namespace qm::platform {

// Turns a path string of the system (backslashes or slashes, relative to the current
// directory or absolute) into a native path. Each existing component is found by its exact
// name first and, failing that, by a case-insensitive match; components that do not exist
// keep the case given. A trailing separator is kept.
QMSUPPORT_API std::string NativePath(const wchar_t* path) noexcept;
QMSUPPORT_API std::string NativePath(const std::string& utf8Path) noexcept;

}  // namespace qm::platform
