#include <qmsupport/toolsapi/locale_info.h>

#include "common/scoped_env.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

namespace {

std::wstring Number(double value, int decimals, bool grouping) {
    QMWideString out;
    FormatNumber(out, value, decimals, grouping);
    return out.str();
}

std::wstring Integer(long long value, int digits) {
    QMWideString out;
    FormatInteger(out, value, digits);
    return out.str();
}

// Each test picks its locale and goes back to the process locale afterwards.
class LocaleInfo : public ::testing::Test {
  protected:
    void TearDown() override { SetLocaleName(""); }
};

}  // namespace

TEST_F(LocaleInfo, GermanSeparatorsAndNames) {
    SetLocaleName("de_DE");
    const QMLocaleInformationWide& info = LocaleInformationWide();
    EXPECT_EQ(info.decimalSeparator, L",");
    EXPECT_EQ(info.thousandSeparator, L".");
    EXPECT_EQ(info.monthNames[0], L"Januar");
    EXPECT_EQ(info.monthNames[2], L"M\u00E4rz");
    EXPECT_EQ(info.dayNames[0], L"Sonntag");
    EXPECT_EQ(info.dayNames[6], L"Samstag");

    EXPECT_EQ(Number(1234567.891, 2, true), L"1.234.567,89");
    EXPECT_EQ(Number(1234567.891, 2, false), L"1234567,89");
    EXPECT_EQ(Number(3.5, 5, false), L"3,50000");
    EXPECT_EQ(Number(-7, 0, false), L"-7");
}

TEST_F(LocaleInfo, SpanishAndSwitchingBack) {
    SetLocaleName("es_ES");
    const QMLocaleInformationWide& info = LocaleInformationWide();
    EXPECT_EQ(info.decimalSeparator, L",");
    EXPECT_EQ(info.monthNames[11], L"diciembre");
    EXPECT_EQ(info.dayNames[3], L"mi\u00E9rcoles");
    EXPECT_EQ(Number(1234567.5, 1, true), L"1.234.567,5");

    SetLocaleName("de_DE");
    EXPECT_EQ(LocaleInformationWide().monthNames[11], L"Dezember");
    // A reference taken earlier still reads a whole record after the switch.
    EXPECT_EQ(info.monthNames[11], L"diciembre");
    SetLocaleName("es_ES");
    EXPECT_EQ(&LocaleInformationWide(), &info);  // the cached record is reused
}

TEST_F(LocaleInfo, ProcessLocaleComesFromTheEnvironment) {
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv numeric("LC_NUMERIC", "de_DE.UTF-8@euro");
    ScopedEnv lang("LANG", "es_ES.UTF-8");
    SetLocaleName(nullptr);
    EXPECT_EQ(LocaleInformationWide().monthNames[0], L"Januar");
    {
        ScopedEnv c("LC_ALL", "C.UTF-8");  // C is en_US_POSIX
        SetLocaleName("");
        EXPECT_EQ(LocaleInformationWide().decimalSeparator, L".");
        EXPECT_EQ(LocaleInformationWide().monthNames[0], L"January");
        EXPECT_EQ(Number(1234.5, 2, false), L"1234.50");
    }
    ScopedEnv noNumeric("LC_NUMERIC", "");
    SetLocaleName("");
    EXPECT_EQ(LocaleInformationWide().monthNames[0], L"enero");
}

TEST_F(LocaleInfo, NumberEdges) {
    SetLocaleName("en_US");
    EXPECT_EQ(Number(2.5, 0, false), L"3");  // halves round away from zero
    EXPECT_EQ(Number(-2.5, 0, false), L"-3");
    EXPECT_EQ(Number(1.005, 2, false), L"1.01");
    EXPECT_EQ(Number(-0.001, 2, false), L"0.00");  // no sign on a zero
    EXPECT_EQ(Number(0, -3, false), L"0");
    EXPECT_EQ(Number(1e300, 0, false).size(), 301u);
    EXPECT_EQ(Number(0.1, 1000, false).size(), 22u);  // decimals are bounded
    EXPECT_FALSE(Number(std::nan(""), 2, false).empty());

    SetLocaleName("sv_SE");  // writes U+2212 for minus on its own
    EXPECT_EQ(Number(-1.5, 1, false), L"-1,5");
    SetLocaleName("ar_EG");  // native digits otherwise
    EXPECT_EQ(Number(12, 0, false).back(), L'2');
}

TEST_F(LocaleInfo, IntegersArePaddedAndUngrouped) {
    SetLocaleName("de_DE");
    EXPECT_EQ(Integer(7, 3), L"007");
    EXPECT_EQ(Integer(-7, 3), L"-007");
    EXPECT_EQ(Integer(2024, 2), L"2024");
    EXPECT_EQ(Integer(1234567, 0), L"1234567");
    EXPECT_EQ(Integer(0, 1), L"0");
    EXPECT_EQ(Integer(LLONG_MIN, 1), L"-9223372036854775808");
    EXPECT_EQ(Integer(5, INT_MAX).size(), 256u);
}
