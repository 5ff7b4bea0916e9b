#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

#include <string>

// The reply to an HTTP request as the library writes it. The bytes are collected in order for
// the host to send; a host that streams derives from it and overrides the first Write.
class QMSUPPORT_API QMHttpResponse {
  public:
    QMHttpResponse() = default;
    virtual ~QMHttpResponse();

    // Writes `length` bytes of `data`, or up to its terminator when `length` is negative (-1).
    virtual void Write(const char* data, int length = -1);
    void Write(const QMNarrowString& text);

    // Everything written so far.
    const std::string& Content() const { return content_; }
    void Clear() { content_.clear(); }

  private:
    std::string content_;
};
