#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/xml/xml_document.h>

// Screens, reports and styles are stored one per file in the configuration directory, named
// identifier + "." + name + extension (".xscn", ".xrpt", ".xsty", in any case). These
// functions translate between identifier and name by looking at the file names. Each returns
// false, leaving its output untouched, when no file matches; otherwise it answers from the
// first file of the directory search (ordered by name).

QMSUPPORT_API bool ReportId2Name(const QMBasicString<wchar_t, QMWideChar>& id,
                                 QMBasicString<wchar_t, QMWideChar>& name);
QMSUPPORT_API bool ReportName2Id(const QMBasicString<wchar_t, QMWideChar>& name,
                                 QMBasicString<wchar_t, QMWideChar>& id);
QMSUPPORT_API bool ScreenId2Name(const QMBasicString<wchar_t, QMWideChar>& id,
                                 QMBasicString<wchar_t, QMWideChar>& name);
QMSUPPORT_API bool ScreenName2Id(const QMBasicString<wchar_t, QMWideChar>& name,
                                 QMBasicString<wchar_t, QMWideChar>& id);
QMSUPPORT_API bool StyleId2Name(const QMBasicString<wchar_t, QMWideChar>& id,
                                QMBasicString<wchar_t, QMWideChar>& name);
QMSUPPORT_API bool StyleName2Id(const QMBasicString<wchar_t, QMWideChar>& name,
                                QMBasicString<wchar_t, QMWideChar>& id);

// Renames the monthly data files of `device` (below its "STDPath", or the setup's data
// directory when that is empty: year\month\<name> MM-YYYY.<ext>) from the device's current
// "Name" to `newName`, for every month from now back to January 2000. True when every rename
// tried succeeded or found its source gone. A name too long for the file patterns (more than
// 245 characters) has no data files of this form and is left alone.
QMSUPPORT_API bool RenameDeviceFilesDataName(const XmlDocument::XmlNode* device,
                                             const wchar_t* newName);
