#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/toolsapi/date_time.h>

// Reads a compact date-time text "DDMMYYYYhhmmssnnn" (fixed positions, decimal digits). Day,
// month and year are always read (a missing or non-numeric field is 0); hour, minute, second
// and millisecond only while their characters are all present, each after the one before it.
// Fields not read are 0, or 23:59:59 when `endOfDay` asks for the end of the day (milliseconds
// stay 0). The result is set as read, without validation.
QMSUPPORT_API void ParseDateTime(const QMNarrowString& text, QMDateTime& result, bool endOfDay);
