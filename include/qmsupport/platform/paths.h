#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

// Path functions on the system's own path strings: backslashes or slashes separate
// components and directories end in a separator.

// The running program's directory, ending in a separator.
QMSUPPORT_API void GetAppPath(QMWideString& out);
// `relativePath` against `baseDirectory`, with "." and ".." resolved as far as the text allows
// (".." above a relative start is kept, above a root dropped). The result is written with the
// first separator the caller used. An absolute path (a root separator or a drive) stays as it is.
QMSUPPORT_API void RelativePathToFullPath(const wchar_t* baseDirectory, const wchar_t* relativePath,
                                          QMWideString& out) noexcept;
// `fullPath` relative to `directory`, comparing components without regard to case: "..\"
// for each level up, then the rest of `fullPath` ("." when both name the same directory).
// A path on another root, or one that would need the current directory, stays as it is.
QMSUPPORT_API void PathRelative2PathTo(const wchar_t* directory, const wchar_t* fullPath,
                                       QMWideString& out) noexcept;
// Creates every missing directory up to the last separator of `path`.
QMSUPPORT_API bool CreateDirectoryW(const wchar_t* path);
