#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

// Path functions on the system's own path strings: backslashes or slashes separate
// components and directories end in a separator.

// The running program's directory, ending in a separator.
QMSUPPORT_API void GetAppPath(QMWideString& out);
// `relativePath` against `baseDirectory` ("..", "." resolved); an absolute path stays.
QMSUPPORT_API void RelativePathToFullPath(const wchar_t* baseDirectory, const wchar_t* relativePath,
                                          QMWideString& out);
// `fullPath` relative to `directory`.
QMSUPPORT_API void PathRelative2PathTo(const wchar_t* directory, const wchar_t* fullPath,
                                       QMWideString& out);
// Creates every missing directory up to the last separator of `path`.
QMSUPPORT_API bool CreateDirectoryW(const wchar_t* path);
