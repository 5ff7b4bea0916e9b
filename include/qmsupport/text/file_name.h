#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

// Two-part file names: first part, ".", second part.

// `result` = first + "." + second.
QMSUPPORT_API void JoinFileName(const QMBasicString<wchar_t, QMWideChar>& first,
                                const QMBasicString<wchar_t, QMWideChar>& second,
                                QMBasicString<wchar_t, QMWideChar>& result);
// Splits at the last ".": `first` gets what precedes it and `second` what follows it. A
// name without "." goes whole into `second`, with `first` empty.
QMSUPPORT_API void SplitFileName(const QMBasicString<wchar_t, QMWideChar>& whole,
                                 QMBasicString<wchar_t, QMWideChar>& first,
                                 QMBasicString<wchar_t, QMWideChar>& second);
