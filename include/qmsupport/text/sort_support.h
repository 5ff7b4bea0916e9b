#pragma once

#include <qmsupport/export.h>

// The two orderings of the suite's sorted lists. Texts are compared as the UTF-16 code units
// they are on the suite's other platforms, so that lists sort alike everywhere; a null pointer
// counts as empty text.
class QMSUPPORT_API QMSortSupport {
  public:
    QMSortSupport() = default;
    QMSortSupport(const QMSortSupport&) = default;
    QMSortSupport& operator=(const QMSortSupport&) = default;
    virtual ~QMSortSupport() = default;

    // Code unit by code unit as unsigned numbers; a proper prefix sorts first.
    static bool Less(const wchar_t* a, const wchar_t* b);
    // The same after lower-casing A to Z, as the runtime's case-insensitive comparison does
    // in the "C" locale.
    static bool LessNoSensitive(const wchar_t* a, const wchar_t* b);
};
