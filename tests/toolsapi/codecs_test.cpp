#include <qmsupport/toolsapi/codecs.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

std::string Decoded(const char* text) {
    QMNarrowString out;
    EXPECT_TRUE(DecodeBase64String(out, text, static_cast<size_t>(-1))) << text;
    return out.str();
}

}  // namespace

TEST(Base64, RoundTripsEveryLengthAndByte) {
    std::string bytes;
    for (int i = 0; i < 300; ++i) {
        bytes.push_back(static_cast<char>(i * 37 + 11));
    }
    for (size_t n = 0; n <= bytes.size(); n += (n < 8 ? 1 : 61)) {
        auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        QMNarrowString narrow;
        QMWideString wide;
        EncodeBase64(narrow, data, n);
        EncodeBase64(wide, data, n);
        ASSERT_EQ(narrow.Length(), (n + 2) / 3 * 4);
        ASSERT_EQ(DecodedBase64Size(narrow.c_str(), static_cast<size_t>(-1)), n);
        ASSERT_EQ(DecodedBase64Size(wide.c_str(), wide.Length()), n);

        std::vector<unsigned char> buffer(n + 1, 0xAA);
        ASSERT_TRUE(DecodeBase64(buffer.data(), wide.c_str()));
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + static_cast<long>(n)),
                  bytes.substr(0, n));
        EXPECT_EQ(buffer[n], 0xAA) << "wrote past the decoded size";
        EXPECT_EQ(Decoded(narrow.c_str()), bytes.substr(0, n));
    }
}

TEST(Base64, KnownTextsAndTolerance) {
    QMNarrowString out;
    EncodeBase64(out, reinterpret_cast<const unsigned char*>("abc"), 3);
    EXPECT_EQ(out, "YWJj");
    EncodeBase64(out, reinterpret_cast<const unsigned char*>("ab"), 2);
    EXPECT_EQ(out, "YWI=");
    EXPECT_EQ(Decoded("YWJj"), "abc");
    EXPECT_EQ(Decoded("YQ"), "a");  // missing padding
    EXPECT_EQ(Decoded("YWI"), "ab");
    EXPECT_EQ(Decoded("YW\r\nJj\n"), "abc");  // line breaks of stored text
    EXPECT_EQ(Decoded("+/+/"), std::string("\xfb\xff\xbf"));
    EXPECT_EQ(Decoded(""), "");
    EXPECT_EQ(Decoded("AGFi"), std::string("\0ab", 3));  // embedded NUL is kept

    EXPECT_TRUE(DecodeBase64String(out, "YWJjZGVm", 4));  // only the given length
    EXPECT_EQ(out, "abc");
}

TEST(Base64, RejectsMalformedText) {
    for (const char* bad : {"YWJ$", "YWJj=", "YW=J", "Y", "YWJjZ",
                            "====", "YQ===", "YWI==", "YW\x80j", "YWJj-_", "YQ=\x01="}) {
        QMNarrowString out("stale");
        EXPECT_FALSE(DecodeBase64String(out, bad, static_cast<size_t>(-1))) << bad;
        EXPECT_TRUE(out.IsEmpty());

        size_t size = DecodedBase64Size(bad, static_cast<size_t>(-1));
        std::vector<unsigned char> buffer(size + 4, 0xAA);
        EXPECT_FALSE(DecodeBase64(buffer.data(), bad)) << bad;
        for (size_t i = size; i < buffer.size(); ++i) {
            EXPECT_EQ(buffer[i], 0xAA) << bad << " overran at " << i;
        }
    }
    EXPECT_FALSE(DecodeBase64(nullptr, "YWJj"));
    unsigned char byte;
    EXPECT_FALSE(DecodeBase64(&byte, L"YQ\x263A="));  // wide character outside the alphabet
    EXPECT_FALSE(DecodeBase64(&byte, L"YQ\x0141="));  // low byte would be a valid "A"
}

TEST(Utf8, ConvertsBothWaysAndJoinsSurrogatePairs) {
    const char* text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a é € 😀
    QMWideString wide;
    Utf8ToUtf16(wide, text);
    EXPECT_EQ(wide.str(), std::wstring(L"a\u00E9\u20AC\U0001F600"));
    QMNarrowString back;
    Utf16ToUtf8(back, wide.c_str());
    EXPECT_EQ(back, text);

    // Wide text that still holds UTF-16 surrogates.
    const wchar_t pair[] = {L'x', 0xD83D, 0xDE00, 0xDC00, 0xD800, L'y', 0x110000, 0};
    Utf16ToUtf8(back, pair);
    EXPECT_EQ(back.str(), "x\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBDy\xEF\xBF\xBD");

    Utf8ToUtf16(wide, "a\0b", 3);  // an explicit length reads past a NUL
    EXPECT_EQ(wide.Length(), 3u);
    Utf8ToUtf16(wide, nullptr);
    EXPECT_TRUE(wide.IsEmpty());
}

TEST(Utf8, EachInvalidSequenceBecomesOneReplacement) {
    struct Case {
        const char* in;
        std::wstring out;
    } cases[] = {
        {"\x80x", L"\uFFFDx"},                              // stray continuation byte
        {"\xC3", L"\uFFFD"},                                // truncated at the end
        {"\xE2\x82x", L"\uFFFDx"},                          // truncated in the middle
        {"\xC0\xAF", L"\uFFFD\uFFFD"},                      // overlong "/"
        {"\xE0\x80\xAF", L"\uFFFD\uFFFD\uFFFD"},            // overlong three-byte form
        {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
        {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"\xF0\x9F\x98", L"\uFFFD"},                        // truncated four-byte form
        {"\xFF\xFE", L"\uFFFD\uFFFD"},
    };
    for (const Case& c : cases) {
        QMWideString wide;
        Utf8ToUtf16(wide, c.in);
        EXPECT_EQ(wide.str(), c.out) << c.in;
    }
}

TEST(Decimal, ReadsTheLeadingNumberAndSaturates) {
    EXPECT_EQ(Wtoi(L"  -42 minutes"), -42);
    EXPECT_EQ(Wtoi(L"+7"), 7);
    EXPECT_EQ(Wtoi(L"12"), 12);
    EXPECT_EQ(Wtoi(L"x12"), 0);
    EXPECT_EQ(Wtoi(L"- 3"), 0);
    EXPECT_EQ(Wtoi(L""), 0);
    EXPECT_EQ(Wtoi(L"99999999999999999999"), INT_MAX);
    EXPECT_EQ(Wtoi(L"-2147483648"), INT_MIN);
    EXPECT_EQ(Wtoi(L"-99999999999999999999"), INT_MIN);
    // Only the given piece is read.
    EXPECT_EQ(Wtoi(std::wstring_view(L"2008_03", 4)), 2008);
}

TEST(Hex, ReadsAndWrites) {
    EXPECT_EQ(HtoL("0000FF", 6), 255);
    EXPECT_EQ(HtoL(L"1a2B", 4), 0x1A2B);
    EXPECT_EQ(HtoL("FF00", 2), 255);  // only the given length
    EXPECT_EQ(HtoL(" 0x10zz", static_cast<size_t>(-1)), 16);
    EXPECT_EQ(HtoL("FFFFFFFF", 8), -1);
    EXPECT_EQ(HtoL("123456789", 9), 0x23456789);
    EXPECT_EQ(HtoL("", 0), 0);
    EXPECT_EQ(HtoL(static_cast<const char*>(nullptr), 4), 0);
    EXPECT_EQ(HtoL("12\0"
                   "34",
                   5),
              0x12);

    char narrow[3];
    wchar_t wide[3];
    BtoH(0x0F, narrow);
    BtoH(0xA0, wide);
    EXPECT_STREQ(narrow, "0F");
    EXPECT_STREQ(wide, L"A0");
}
