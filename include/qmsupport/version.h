#pragma once

#include <qmsupport/export.h>

namespace qm {

// The library's release, such as "2.7.0": the version of the shared library actually loaded,
// which the SONAME only pins to its major number.
QMSUPPORT_API const char* Version();

}  // namespace qm
