#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/toolsapi/http_response.h>

// Writes `text` to the response as XML text template pieces: text that already begins with
// "<text" goes out as it is; otherwise it is escaped and sent as a "textId" piece when it
// begins with "IDS_", else as a "textStr" piece. `wrap` puts the pieces in a "text" element.
// Always returns true.
QMSUPPORT_API bool SendXMLText(QMHttpResponse& response, const QMNarrowString& text, bool wrap);
