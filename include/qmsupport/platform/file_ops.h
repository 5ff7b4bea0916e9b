#pragma once

#include <qmsupport/export.h>

#include <string>
#include <string_view>

namespace qm::platform {

// Writes `data` to a temporary file in the target's directory, fsyncs it, renames it over
// `nativePath` and fsyncs the directory. On failure the old file stays whole.
QMSUPPORT_API bool WriteFileAtomic(const std::string& nativePath, std::string_view data);
// Reads a whole file; false when it cannot be read.
QMSUPPORT_API bool ReadFile(const std::string& nativePath, std::string& data);
// Renames a file of the system's paths (both translated); 0 on success, as _wrename.
QMSUPPORT_API int RenameFile(const wchar_t* oldPath, const wchar_t* newPath);
// Creates every missing directory up to the last separator of the system path.
QMSUPPORT_API bool CreateDirectories(const wchar_t* path);
QMSUPPORT_API bool FileExists(const wchar_t* path);

}  // namespace qm::platform
