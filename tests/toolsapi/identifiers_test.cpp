#include <qmsupport/toolsapi/identifiers.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(Guid, TextIsUpperCaseInBracesAndRandom) {
    QMGUID guid{0x0F8FAD5B, 0xD9CB, 0x469F, {0xA1, 0x65, 0x70, 0x86, 0x77, 0x28, 0x95, 0x0E}};
    wchar_t buffer[kGuidTextSize];
    EXPECT_STREQ(guidtow(guid, buffer), L"{0F8FAD5B-D9CB-469F-A165-70867728950E}");

    std::set<std::wstring> seen;
    for (int i = 0; i < 100; ++i) {
        QMGUID a;
        ASSERT_TRUE(NewGUID(a));
        EXPECT_EQ(a.Data3 >> 12, 4);  // a random (version 4) UUID
        EXPECT_EQ(a.Data4[0] >> 6, 2);
        QMWideString text = NewGUIDText();
        ASSERT_EQ(text.Length(), kGuidTextSize - 1);
        EXPECT_TRUE(seen.insert(text.str()).second);
        EXPECT_EQ(text.str().find_first_not_of(L"{}-0123456789ABCDEF"), std::wstring::npos);
    }
    QMGUID copy = guid;
    EXPECT_TRUE(copy == guid);
    copy.Data4[7] ^= 1;
    EXPECT_TRUE(copy != guid);
}

TEST(Identifier, Validity) {
    for (const wchar_t* good : {L"a", L"_", L"my_dev2", L"Z9", L"_1abc"}) {
        EXPECT_TRUE(IsValidId(good, true)) << good;
    }
    for (const wchar_t* bad :
         {L"", L"1abc", L"my dev", L"a-b", L"a.b", L"caf\u00E9", L"\u00E9t\u00E9"}) {
        EXPECT_FALSE(IsValidId(bad, true)) << bad;
    }
    EXPECT_FALSE(IsValidId(nullptr, false));
    EXPECT_TRUE(IsValidId(L"caf\u00E9", false));
    EXPECT_TRUE(IsValidId(L"\u0416\u0443\u043A_1", false));
    EXPECT_TRUE(IsValidId(L"\u6E29\u5EA6", false));
    EXPECT_FALSE(IsValidId(L"a\u00B2", false));  // superscript two is no letter
    EXPECT_FALSE(IsValidId(L"\u0661x", false));  // nor is an Arabic-Indic digit
    const wchar_t outside[] = {L'a', static_cast<wchar_t>(0x110041), 0};
    EXPECT_FALSE(IsValidId(outside, false));
}

TEST(Identifier, Normalization) {
    struct Case {
        const wchar_t* in;
        const wchar_t* out;
        bool changed;
    } cases[] = {
        {L"my dev", L"my_dev", true},      {L"1abc", L"_1abc", true},  {L"", L"_", true},
        {L"caf\u00E9", L"caf_", true},     {L"a-b.c", L"a_b_c", true}, {L"9", L"_9", true},
        {L"ok_Name1", L"ok_Name1", false}, {L"_", L"_", false},
    };
    for (const Case& c : cases) {
        QMWideString text(c.in);
        EXPECT_EQ(NormalizeId(text), c.changed) << c.in;
        EXPECT_EQ(text, c.out) << c.in;
        EXPECT_TRUE(IsValidId(text.c_str(), true)) << c.in;
    }
}
