#include <qmsupport/toolsapi/basic_string.h>

#include <gtest/gtest.h>

#include <string>

TEST(BasicString, FormatGrowsPastAnyFixedBuffer) {
    std::string longText(5000, 'x');
    QMNarrowString s;
    s.Format("[%s]", longText.c_str());
    EXPECT_EQ(s.Length(), 5002u);
    EXPECT_EQ(s[0], '[');
    EXPECT_EQ(s[5001], ']');

    std::wstring wideText(3000, L'y');
    QMWideString w(L"a");
    w.AppendFormat(L"%ls%d", wideText.c_str(), 42);
    EXPECT_EQ(w.Length(), 3003u);
    EXPECT_EQ(w.str().substr(3001), L"42");
}

TEST(BasicString, ComparisonsAndAppend) {
    QMWideString a(L"abc");
    QMWideString b(L"abd", 2);
    EXPECT_EQ(b, L"ab");
    b += L'c';
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != L"abc");
    EXPECT_TRUE(QMWideString(L"Zeta") < QMWideString(L"alpha"));
    QMWideString nul(static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(nul.IsEmpty());
    nul.Append(static_cast<const wchar_t*>(nullptr)).Append(L"x", 1);
    EXPECT_EQ(nul, L"x");
    nul.Clear();
    EXPECT_EQ(nul.Length(), 0u);
    EXPECT_EQ(QMWideChar::Compare(L"ab", L"ac", 1), 0);
}

TEST(BasicString, WideFormatOfUnwritableTextAppendsNothing) {
    // In the C locale a character above 0x7F cannot be converted from narrow text, which
    // makes the conversion fail; the string keeps what it had.
    QMWideString w(L"keep");
    w.AppendFormat(L"%s", "\xff\xfe");
    EXPECT_EQ(w, L"keep");
    w.AppendFormat(L"-%d", 7);
    EXPECT_EQ(w, L"keep-7");
}
