#include <qmsupport/toolsapi/http_response.h>

#include <algorithm>
#include <climits>
#include <cstring>

QMHttpResponse::~QMHttpResponse() = default;

void QMHttpResponse::Write(const char* data, int length) {
    if (!data) {
        return;
    }
    content_.append(data, length < 0 ? std::strlen(data) : static_cast<size_t>(length));
}

// Goes through the virtual Write, in pieces that fit its int length.
void QMHttpResponse::Write(const QMNarrowString& text) {
    const char* data = text.c_str();
    size_t left = text.Length();
    while (left > 0) {
        size_t piece = std::min<size_t>(left, INT_MAX);
        Write(data, static_cast<int>(piece));
        data += piece;
        left -= piece;
    }
}
