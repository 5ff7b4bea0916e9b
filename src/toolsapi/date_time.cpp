#include <qmsupport/toolsapi/date_time.h>

#include <ctime>
#include <string>
#include <tuple>

namespace {

constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a valid Gregorian date (H. Hinnant's days_from_civil).
int64_t DaysFromCivil(int year, int month, int day) {
    int64_t y = year - (month <= 2 ? 1 : 0);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yearOfEra = y - era * 400;
    int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int64_t MillisecondsOf(const QMDateTime& t) {
    int64_t days = DaysFromCivil(t.Year(), t.Month(), t.Day());
    return ((days * 24 + t.Hour()) * 60 + t.Minute()) * 60000 + t.Second() * 1000 + t.Millisecond();
}

auto Fields(const QMDateTime& t) {
    return std::make_tuple(t.Year(), t.Month(), t.Day(), t.Hour(), t.Minute(), t.Second(),
                           t.Millisecond());
}

std::tm ToTm(const QMDateTime& t) {
    std::tm tm{};
    tm.tm_year = t.Year() - 1900;
    tm.tm_mon = t.Month() - 1;
    tm.tm_mday = t.Day();
    tm.tm_hour = t.Hour();
    tm.tm_min = t.Minute();
    tm.tm_sec = t.Second();
    return tm;
}

QMDateTime FromTm(const std::tm& tm, int millisecond) {
    return QMDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                      tm.tm_sec, millisecond);
}

// A cursor over the text of a date, for either character type.
template <class CharT>
class DateScanner {
  public:
    explicit DateScanner(const CharT* text) : p_(text) {}

    bool Digits(int count, int& value) {
        value = 0;
        for (int i = 0; i < count; ++i, ++p_) {
            if (*p_ < '0' || *p_ > '9') {
                return false;
            }
            value = value * 10 + static_cast<int>(*p_ - '0');
        }
        return true;
    }
    bool Take(char c) {
        if (*p_ != static_cast<CharT>(c)) {
            return false;
        }
        ++p_;
        return true;
    }
    bool AtDigit() const { return *p_ >= '0' && *p_ <= '9'; }
    void SkipBlanks() {
        while (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n') {
            ++p_;
        }
    }
    bool AtEnd() const { return *p_ == 0; }

  private:
    const CharT* p_;
};

template <class CharT>
bool ParseDateTime(QMDateTime& dateTime, const CharT* text) {
    dateTime.Invalidate();
    if (!text) {
        return false;
    }
    DateScanner<CharT> s(text);
    s.SkipBlanks();
    int year, month, day, hour = 0, minute = 0, second = 0, millisecond = 0;
    if (!s.Digits(4, year) || !s.Take('-') || !s.Digits(2, month) || !s.Take('-') ||
        !s.Digits(2, day)) {
        return false;
    }
    if (s.Take(' ')) {
        if (!s.Digits(2, hour) || !s.Take(':') || !s.Digits(2, minute)) {
            return false;
        }
        if (s.Take(':')) {
            if (!s.Digits(2, second)) {
                return false;
            }
            if (s.Take('.')) {
                int scale = 100;
                int digits = 0;
                for (; digits < 3 && s.AtDigit(); ++digits, scale /= 10) {
                    int digit;
                    s.Digits(1, digit);
                    millisecond += digit * scale;
                }
                if (digits == 0) {
                    return false;
                }
            }
        }
    }
    s.SkipBlanks();
    if (!s.AtEnd()) {
        return false;
    }
    QMDateTime parsed(year, month, day, hour, minute, second, millisecond);
    if (!parsed.Valid()) {
        return false;
    }
    dateTime = parsed;
    return true;
}

}  // namespace

QMDateTime::QMDateTime() = default;

QMDateTime::QMDateTime(int year, int month, int day, int hour, int minute, int second,
                       int millisecond)
    : year_(year),
      month_(month),
      day_(day),
      hour_(hour),
      minute_(minute),
      second_(second),
      millisecond_(millisecond) {}

int QMDateTime::Year() const {
    return year_;
}
int QMDateTime::Month() const {
    return month_;
}
int QMDateTime::Day() const {
    return day_;
}
int QMDateTime::Hour() const {
    return hour_;
}
int QMDateTime::Minute() const {
    return minute_;
}
int QMDateTime::Second() const {
    return second_;
}
int QMDateTime::Millisecond() const {
    return millisecond_;
}

int QMDateTime::DayOfWeek() const {
    if (!Valid()) {
        return -1;
    }
    int64_t days = DaysFromCivil(year_, month_, day_);
    return static_cast<int>(((days + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
}

void QMDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second,
                             int millisecond, int /*reserved*/) {
    *this = QMDateTime(year, month, day, hour, minute, second, millisecond);
}

bool QMDateTime::Valid() const {
    return year_ >= kMinYear && year_ <= kMaxYear && month_ >= 1 && month_ <= 12 && day_ >= 1 &&
           day_ <= DaysInMonth(year_, month_) && hour_ >= 0 && hour_ <= 23 && minute_ >= 0 &&
           minute_ <= 59 && second_ >= 0 && second_ <= 59 && millisecond_ >= 0 &&
           millisecond_ <= 999;
}

void QMDateTime::Invalidate() {
    *this = QMDateTime();
}

bool QMDateTime::operator<=(const QMDateTime& other) const {
    return Fields(*this) <= Fields(other);
}
bool QMDateTime::operator<(const QMDateTime& other) const {
    return Fields(*this) < Fields(other);
}
bool QMDateTime::operator==(const QMDateTime& other) const {
    return Fields(*this) == Fields(other);
}

QMDateTimeSpan QMDateTime::operator-(const QMDateTime& other) const {
    if (!Valid() || !other.Valid()) {
        return QMDateTimeSpan();
    }
    return QMDateTimeSpan(MillisecondsOf(*this) - MillisecondsOf(other));
}

QMDateTime QMDateTime::UTC() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm tm{};
    if (!gmtime_r(&now.tv_sec, &tm)) {
        return QMDateTime();
    }
    return FromTm(tm, static_cast<int>(now.tv_nsec / 1000000));
}

QMDateTime QMDateTime::LTC2UTC() const {
    if (!Valid()) {
        return QMDateTime();
    }
    tzset();  // localtime_r and mktime need not notice a changed TZ on their own
    std::tm tm = ToTm(*this);
    tm.tm_isdst = -1;
    tm.tm_wday = -1;  // mktime sets it on success; (time_t)-1 alone is a valid instant
    time_t t = mktime(&tm);
    std::tm utc{};
    if (tm.tm_wday == -1 || !gmtime_r(&t, &utc)) {
        return QMDateTime();
    }
    QMDateTime result = FromTm(utc, millisecond_);
    return result.Valid() ? result : QMDateTime();
}

QMDateTime QMDateTime::UTC2LTC() const {
    if (!Valid()) {
        return QMDateTime();
    }
    tzset();
    std::tm tm = ToTm(*this);
    time_t t = timegm(&tm);
    std::tm local{};
    if (!localtime_r(&t, &local)) {
        return QMDateTime();
    }
    QMDateTime result = FromTm(local, millisecond_);
    return result.Valid() ? result : QMDateTime();
}

bool String2DateTime(QMDateTime& dateTime, const wchar_t* text) {
    return ParseDateTime(dateTime, text);
}

bool String2DateTime(QMDateTime& dateTime, const char* text) {
    return ParseDateTime(dateTime, text);
}

bool DateTime2String(QMWideString& out, const QMDateTime& dateTime, bool alwaysMilliseconds,
                     bool dateOnly) {
    out.Clear();
    if (!dateTime.Valid()) {
        return false;
    }
    out.Format(L"%04d-%02d-%02d", dateTime.Year(), dateTime.Month(), dateTime.Day());
    if (!dateOnly) {
        out.AppendFormat(L" %02d:%02d:%02d", dateTime.Hour(), dateTime.Minute(), dateTime.Second());
        if (alwaysMilliseconds || dateTime.Millisecond() != 0) {
            out.AppendFormat(L".%03d", dateTime.Millisecond());
        }
    }
    return true;
}
