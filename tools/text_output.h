#pragma once

// Text conversions shared by the subcommands: UTF-8 and wide text, and JSON strings.

#include <qmsupport/install/migration_report.h>
#include <qmsupport/toolsapi/basic_string.h>

#include <string>
#include <string_view>

class XmlDocument;

std::string Utf8(const wchar_t* text);
inline std::string Utf8(const QMWideString& text) {
    return Utf8(text.c_str());
}
QMWideString Wide(const std::string& text);

// Appends `text` as a quoted JSON string, escaping quotes, backslashes and control characters.
using qm::install::AppendJsonString;
std::string JsonString(std::string_view text);
