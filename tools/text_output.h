#pragma once

// Text conversions shared by the subcommands: UTF-8 and wide text, and JSON strings.

#include <qmsupport/install/migration_report.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/toolsapi/codecs.h>

#include <string>
#include <string_view>

class XmlDocument;

using qm::Utf8;
using qm::Wide;

// Appends `text` as a quoted JSON string, escaping quotes, backslashes and control characters.
using qm::install::AppendJsonString;
std::string JsonString(std::string_view text);
