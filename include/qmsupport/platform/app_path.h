#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

namespace qm::platform {

// Makes GetAppPath answer `path` (a directory ending in a separator) instead of the running
// program's directory, so that a host or a test can place the installation elsewhere. An
// empty path restores the program's directory.
QMSUPPORT_API void SetAppPath(const QMWideString& path);
// The path set by SetAppPath; empty when none is in force.
QMSUPPORT_API QMWideString AppPathOverride();

}  // namespace qm::platform
