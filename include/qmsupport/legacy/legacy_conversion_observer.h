#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

#include <cstdint>

// Told of the parts of legacy files that a conversion could not carry over. Every callback
// has an empty default; the conversion behaves the same with or without an observer.
class QMSUPPORT_API QMLegacyConversionObserver {
  public:
    virtual ~QMLegacyConversionObserver() = default;

    // Bytes of a history file that were not converted: a file shorter than its header
    // (offset 0), or a partial record at its end.
    virtual void OnHistoryTruncated(const QMWideString& /*path*/, uint64_t /*offset*/,
                                    uint64_t /*bytesLost*/) {}
    // A record at `offset` would have opened one occurrence more than the conversion keeps
    // open; it and the rest of the file were not converted.
    virtual void OnOccurrenceLimit(const QMWideString& /*path*/, uint64_t /*offset*/) {}
};
