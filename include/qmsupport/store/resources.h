#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

// Loads string resource `id` from the resource chain; false and empty text for an unknown id.
QMSUPPORT_API bool QMLoadString(unsigned int id, QMWideString& out) noexcept;
