#pragma once

#include <qmsupport/export.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace qm::platform {

// Writes `data` to a temporary file in the target's directory, fsyncs it, renames it over
// `nativePath` and fsyncs the directory. On failure the old file stays whole and no temporary
// file is left. A replaced file keeps its permissions (and its owner where allowed); a
// symbolic link is written through, so the link stays.
QMSUPPORT_API bool WriteFileAtomic(const std::string& nativePath, std::string_view data);
// Opens a regular file for reading, without blocking: a FIFO or a device in the file's place
// could block the open or the reads for ever. Returns the descriptor, or -1 when the file
// cannot be opened or is no regular file; `size` (optional) receives the file's size.
QMSUPPORT_API int OpenRegularFile(const std::string& nativePath, size_t* size = nullptr);
// Reads a whole regular file; false when it cannot be read or is no regular file.
QMSUPPORT_API bool ReadFile(const std::string& nativePath, std::string& data);
// Renames a file of the system's paths; 0 on success, else -1 with errno set, as _wrename.
// The source and the destination's directories are found by the rules of NativePath; the
// destination's name is created with the case given. Like _wrename it never replaces: an
// entry of exactly the destination's name makes it fail with EEXIST, except for the source
// itself (a file renamed to its own name stays as it is). An entry whose name differs only in
// case is not in the way, and both files stay. A missing destination directory fails (ENOENT),
// as does a missing source.
QMSUPPORT_API int RenameFile(const wchar_t* oldPath, const wchar_t* newPath);
// Creates every missing directory up to the last separator of the system path; existing
// components are found without regard to case, new ones take the case given. True when the
// directory exists at the end.
QMSUPPORT_API bool CreateDirectories(const wchar_t* path);
// Whether an entry (file or directory) exists at the system path.
QMSUPPORT_API bool FileExists(const wchar_t* path);

}  // namespace qm::platform
