#include <qmsupport/toolsapi/numbers.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

using qm::ReadDecimal;
using qm::ReadInteger;

TEST(Numbers, ReadsAsMuchOfANumberAsThereIs) {
    struct Case {
        const char* text;
        double decimal;
        size_t decimalUsed;
        long long integer;
        size_t integerUsed;
    };
    const Case cases[] = {
        {" \t+2.75e1xyz", 27.5, 9, 2, 4},
        {"-0.5", -0.5, 4, 0, 2},
        {"12,5", 12, 2, 12, 2},  // the separator is a point, whatever the locale
        {".", 0, 0, 0, 0},
        {"", 0, 0, 0, 0},
        {"abc", 0, 0, 0, 0},
        {"- 1", 0, 0, 0, 0},
        {"99999999999999999999", 1e20, 20, LLONG_MAX, 20},
        {"-99999999999999999999", -1e20, 21, LLONG_MIN, 21},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        size_t used = 99;
        EXPECT_DOUBLE_EQ(ReadDecimal(c.text, &used), c.decimal);
        EXPECT_EQ(used, c.decimalUsed);
        EXPECT_EQ(ReadInteger(c.text, 10, &used), c.integer);
        EXPECT_EQ(used, c.integerUsed);
    }
    EXPECT_TRUE(std::isinf(ReadDecimal("1e999")));
}

TEST(Numbers, HexadecimalAndWideText) {
    size_t used = 0;
    EXPECT_EQ(ReadInteger("0x1fZ", 16, &used), 0x1F);
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(ReadInteger(" -FF", 16), -255);
    EXPECT_EQ(ReadInteger(L"FFFFFFFF", 16), 0xFFFFFFFFLL);

    EXPECT_DOUBLE_EQ(ReadDecimal(L"  3.25", &used), 3.25);
    EXPECT_EQ(used, 6u);
    // A character outside ASCII ends the number, and a NUL ends the text.
    EXPECT_EQ(ReadInteger(L"12\u0663", 10, &used), 12);
    EXPECT_EQ(used, 2u);
    EXPECT_EQ(ReadInteger(std::wstring(L"7\0"
                                       L"8",
                                       3)),
              7);
    EXPECT_EQ(ReadInteger(L"\u00A012"), 0);
}
