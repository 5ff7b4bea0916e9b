#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

// The Olson (IANA) zone of a Windows time-zone identifier; empty when unknown.
QMSUPPORT_API QMWideString Win32TimeZoneToOlsonTimeZone(const wchar_t* windowsName) noexcept;
// The Windows time-zone identifier of the local zone, whose IANA name comes from TZ, else the
// target of the /etc/localtime link, else /etc/timezone; empty when a step fails.
QMSUPPORT_API QMWideString LocalWindowsTimeZone() noexcept;
