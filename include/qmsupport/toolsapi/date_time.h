#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

#include <cstdint>

class QMDateTimeSpan;

// A calendar date and time with milliseconds, in the proleptic Gregorian calendar from year 1
// to 9999. The text form used by String2DateTime and DateTime2String is
// "YYYY-MM-DD HH:MM:SS" with an optional ".mmm".
class QMSUPPORT_API QMDateTime {
  public:
    QMDateTime();  // invalid
    QMDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
               int millisecond = 0);
    virtual ~QMDateTime() = default;

    int Year() const;
    int Month() const;
    int Day() const;
    int Hour() const;
    int Minute() const;
    int Second() const;
    int Millisecond() const;
    int DayOfWeek() const;  // 0 = Sunday .. 6 = Saturday; -1 when not Valid()
    // year, month, day, hour, minute, second, millisecond, and a last field kept for the
    // system's signature (microseconds, ignored). No validation: Valid() tells.
    void SetDateTime(int year, int month, int day, int hour, int minute, int second,
                     int millisecond, int reserved);
    // True for a real calendar date (leap years counted) with a time of day from 00:00:00.000
    // to 23:59:59.999.
    bool Valid() const;
    void Invalidate();

    // Field by field, from the year down to the millisecond.
    bool operator<=(const QMDateTime& other) const;
    bool operator<(const QMDateTime& other) const;
    bool operator==(const QMDateTime& other) const;
    // this - other; an empty span when either date is not Valid().
    QMDateTimeSpan operator-(const QMDateTime& other) const;

    static QMDateTime UTC();  // now, in universal time
    // Converts this local time to universal time through the process's time zone (TZ is
    // honoured, and read again when it changes). A local time that occurs twice when the
    // clocks go back is taken as the C library chooses; one that the clocks skip is moved on
    // by the skipped hour. The result is invalid when this date is not Valid().
    QMDateTime LTC2UTC() const;
    QMDateTime UTC2LTC() const;

  private:
    int year_ = 0, month_ = 0, day_ = 0, hour_ = 0, minute_ = 0, second_ = 0, millisecond_ = 0;
};

// A signed difference between two dates, in milliseconds.
class QMSUPPORT_API QMDateTimeSpan {
  public:
    explicit QMDateTimeSpan(int64_t milliseconds = 0) : ms_(milliseconds) {}
    int64_t Milliseconds() const { return ms_; }
    double TotalSeconds() const { return static_cast<double>(ms_) / 1000.0; }

  private:
    int64_t ms_;
};

// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM:SS" or the latter followed by
// "." and one to three digits of a second (".5" is 500 ms); white space around the text is
// allowed. Anything else, or a date that is not Valid(), gives false and an invalid dateTime.
QMSUPPORT_API bool String2DateTime(QMDateTime& dateTime, const wchar_t* text);
QMSUPPORT_API bool String2DateTime(QMDateTime& dateTime, const char* text);
// Writes "YYYY-MM-DD HH:MM:SS", followed by ".mmm" when the milliseconds are not zero or
// `alwaysMilliseconds` is set; `dateOnly` writes "YYYY-MM-DD" alone. False (and empty text)
// when the date is not Valid().
QMSUPPORT_API bool DateTime2String(QMWideString& out, const QMDateTime& dateTime,
                                   bool alwaysMilliseconds, bool dateOnly);
