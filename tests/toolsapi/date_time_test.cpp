#include <qmsupport/toolsapi/date_time.h>

#include "common/scoped_env.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Text(const QMDateTime& t, bool alwaysMilliseconds = false, bool dateOnly = false) {
    QMWideString out;
    DateTime2String(out, t, alwaysMilliseconds, dateOnly);
    return out.str();
}

}  // namespace

TEST(DateTime, ValidChecksTheCalendar) {
    EXPECT_TRUE(QMDateTime(2024, 2, 29).Valid());
    EXPECT_TRUE(QMDateTime(2000, 2, 29).Valid());  // divisible by 400
    EXPECT_TRUE(QMDateTime(2023, 12, 31, 23, 59, 59, 999).Valid());
    EXPECT_FALSE(QMDateTime().Valid());
    // Year, month, day, hour, minute, second, millisecond; 1900 is divisible by 100 and no
    // leap year.
    const int invalid[][7] = {
        {1900, 2, 29, 0, 0, 0, 0}, {2023, 2, 29, 0, 0, 0, 0}, {2023, 4, 31, 0, 0, 0, 0},
        {2023, 13, 1, 0, 0, 0, 0}, {2023, 0, 1, 0, 0, 0, 0},  {2023, 1, 0, 0, 0, 0, 0},
        {0, 1, 1, 0, 0, 0, 0},     {2023, 1, 1, 24, 0, 0, 0}, {2023, 1, 1, -1, 0, 0, 0},
        {2023, 1, 1, 0, 60, 0, 0}, {2023, 1, 1, 0, 0, 60, 0}, {2023, 1, 1, 0, 0, 0, 1000}};
    for (const auto& f : invalid) {
        EXPECT_FALSE(QMDateTime(f[0], f[1], f[2], f[3], f[4], f[5], f[6]).Valid())
            << "row " << &f - invalid;
    }

    QMDateTime t;
    t.SetDateTime(2024, 3, 1, 2, 3, 4, 5, 99);
    EXPECT_TRUE(t.Valid());
    EXPECT_EQ(t.Millisecond(), 5);
    t.Invalidate();
    EXPECT_FALSE(t.Valid());
}

TEST(DateTime, DayOfWeekComparisonsAndSpans) {
    EXPECT_EQ(QMDateTime(1970, 1, 1).DayOfWeek(), 4);
    EXPECT_EQ(QMDateTime(2024, 2, 29).DayOfWeek(), 4);
    EXPECT_EQ(QMDateTime(2000, 1, 2).DayOfWeek(), 0);
    EXPECT_EQ(QMDateTime(1, 1, 1).DayOfWeek(), 1);
    EXPECT_EQ(QMDateTime(2023, 2, 30).DayOfWeek(), -1);

    QMDateTime a(2024, 2, 28, 23, 0, 0, 500), b(2024, 3, 1, 1, 0, 0);
    EXPECT_TRUE(a < b && a <= b && a <= a && !(b <= a) && !(a < a));
    EXPECT_TRUE(a == QMDateTime(2024, 2, 28, 23, 0, 0, 500));
    EXPECT_FALSE(a == QMDateTime(2024, 2, 28, 23, 0, 0, 501));
    EXPECT_EQ((b - a).Milliseconds(), 26 * 3600 * 1000 - 500);  // across the leap day
    EXPECT_EQ((a - b).Milliseconds(), -(b - a).Milliseconds());
    EXPECT_EQ((QMDateTime(2001, 1, 1) - QMDateTime(1601, 1, 1)).TotalSeconds(), 146097.0 * 86400);
    EXPECT_EQ((b - QMDateTime()).Milliseconds(), 0);

    QMDateTime now = QMDateTime::UTC();
    EXPECT_TRUE(now.Valid());
    EXPECT_GE(now.Year(), 2024);
}

TEST(DateTime, TextFormRoundTrips) {
    QMDateTime t;
    ASSERT_TRUE(String2DateTime(t, "2024-02-29 13:05:09"));
    EXPECT_TRUE(t == QMDateTime(2024, 2, 29, 13, 5, 9));
    EXPECT_EQ(Text(t), L"2024-02-29 13:05:09");
    EXPECT_EQ(Text(t, true), L"2024-02-29 13:05:09.000");
    EXPECT_EQ(Text(t, false, true), L"2024-02-29");

    ASSERT_TRUE(String2DateTime(t, L" 0999-12-31 23:59:59.042 "));
    EXPECT_TRUE(t == QMDateTime(999, 12, 31, 23, 59, 59, 42));
    EXPECT_EQ(Text(t), L"0999-12-31 23:59:59.042");
    ASSERT_TRUE(String2DateTime(t, "2024-01-02 03:04:05.5"));
    EXPECT_EQ(t.Millisecond(), 500);
    ASSERT_TRUE(String2DateTime(t, "2024-01-02"));
    EXPECT_TRUE(t == QMDateTime(2024, 1, 2));
    ASSERT_TRUE(String2DateTime(t, "2024-01-02 03:04"));
    EXPECT_TRUE(t == QMDateTime(2024, 1, 2, 3, 4));

    QMWideString out(L"stale");
    EXPECT_FALSE(DateTime2String(out, QMDateTime(2023, 2, 29), false, false));
    EXPECT_TRUE(out.IsEmpty());
}

TEST(DateTime, TextGarbageIsRejected) {
    for (const char* bad :
         {"", "2024", "2024-2-29", "2023-02-29", "2024-02-29 25:00:00", "2024-02-29T13:05:09",
          "2024-02-29 13:05:09.", "2024-02-29 13:05:09.1234", "2024-02-29 13",
          "2024-02-29 13:05:", "2024-02-29 13:05:09 x", "+024-02-29", "2024-02-29\x01",
          "0000-01-01", "２０２４-01-01"}) {
        QMDateTime t(2020, 1, 1);
        EXPECT_FALSE(String2DateTime(t, bad)) << bad;
        EXPECT_FALSE(t.Valid()) << bad;
    }
    QMDateTime t;
    EXPECT_FALSE(String2DateTime(t, static_cast<const wchar_t*>(nullptr)));
    EXPECT_FALSE(String2DateTime(t, L"2024-01-01\x10031"));
}

TEST(DateTime, LocalAndUniversalTimeFollowTheZone) {
    ScopedEnv zone("TZ", "Europe/Berlin");
    // Winter: UTC+1; summer: UTC+2.
    EXPECT_TRUE(QMDateTime(2024, 1, 15, 12, 0, 0, 250).LTC2UTC() ==
                QMDateTime(2024, 1, 15, 11, 0, 0, 250));
    EXPECT_TRUE(QMDateTime(2024, 7, 1, 0, 30).LTC2UTC() == QMDateTime(2024, 6, 30, 22, 30));
    // The last local minute before and the first after the change to summer time.
    EXPECT_TRUE(QMDateTime(2024, 3, 31, 1, 59).LTC2UTC() == QMDateTime(2024, 3, 31, 0, 59));
    EXPECT_TRUE(QMDateTime(2024, 3, 31, 3, 0).LTC2UTC() == QMDateTime(2024, 3, 31, 1, 0));
    EXPECT_TRUE(QMDateTime(2024, 10, 27, 1, 0).UTC2LTC() == QMDateTime(2024, 10, 27, 2, 0));
    EXPECT_TRUE(QMDateTime(2024, 12, 31, 23, 30).UTC2LTC() == QMDateTime(2025, 1, 1, 0, 30));

    // A skipped local time still converts to a real instant next to the gap.
    QMDateTime skipped = QMDateTime(2024, 3, 31, 2, 30).LTC2UTC();
    EXPECT_TRUE(skipped.Valid());
    EXPECT_TRUE(QMDateTime(2024, 3, 31, 0, 30) <= skipped &&
                skipped <= QMDateTime(2024, 3, 31, 1, 30));

    EXPECT_FALSE(QMDateTime(2023, 2, 29).LTC2UTC().Valid());
    EXPECT_FALSE(QMDateTime().UTC2LTC().Valid());
    // The end of the range: local midnight of the last day is still the year 9999 in UTC.
    EXPECT_TRUE(QMDateTime(9999, 12, 31, 12, 0).LTC2UTC().Valid());
}

TEST(DateTime, ZoneChangesAreNoticed) {
    QMDateTime noon(2024, 1, 15, 12, 0);
    {
        ScopedEnv zone("TZ", "America/New_York");
        EXPECT_TRUE(noon.LTC2UTC() == QMDateTime(2024, 1, 15, 17, 0));
    }
    ScopedEnv zone("TZ", "Asia/Kolkata");
    EXPECT_TRUE(noon.LTC2UTC() == QMDateTime(2024, 1, 15, 6, 30));
}
