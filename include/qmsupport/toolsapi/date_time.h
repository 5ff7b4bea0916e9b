#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

#include <cstdint>

class QMDateTimeSpan;

// A calendar date and time with milliseconds. The text form used by String2DateTime and
// DateTime2String is "YYYY-MM-DD HH:MM:SS" with an optional ".mmm".
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
    int DayOfWeek() const;  // 0 = Sunday .. 6 = Saturday
    // year, month, day, hour, minute, second, millisecond, and a last field kept for the
    // system's signature (microseconds, ignored). No validation: Valid() tells.
    void SetDateTime(int year, int month, int day, int hour, int minute, int second,
                     int millisecond, int reserved);
    bool Valid() const;
    void Invalidate();

    bool operator<=(const QMDateTime& other) const;
    bool operator<(const QMDateTime& other) const;
    bool operator==(const QMDateTime& other) const;
    QMDateTimeSpan operator-(const QMDateTime& other) const;

    static QMDateTime UTC();  // now, in universal time
    // Converts this local time to universal time through the process's time zone.
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

QMSUPPORT_API bool String2DateTime(QMDateTime& dateTime, const wchar_t* text);
QMSUPPORT_API bool String2DateTime(QMDateTime& dateTime, const char* text);
QMSUPPORT_API bool DateTime2String(QMWideString& out, const QMDateTime& dateTime, bool flag1,
                                   bool flag2);
