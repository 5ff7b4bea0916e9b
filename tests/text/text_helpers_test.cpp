#include <qmsupport/text/check_dialog_size.h>
#include <qmsupport/text/parse_date_time.h>
#include <qmsupport/text/parse_xml_text.h>
#include <qmsupport/text/send_xml_text.h>
#include <qmsupport/text/sort_support.h>

#include "text/wide_printer.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::string Parsed(const char* text, bool endOfDay) {
    QMDateTime date;
    ParseDateTime(QMNarrowString(text), date, endOfDay);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", date.Year(),
                  date.Month(), date.Day(), date.Hour(), date.Minute(), date.Second(),
                  date.Millisecond());
    return buffer;
}

TEST(ParseDateTime, FieldsAreTakenOnlyWhenComplete) {
    EXPECT_EQ(Parsed("25122007", false), "2007-12-25 00:00:00.000");
    EXPECT_EQ(Parsed("25122007", true), "2007-12-25 23:59:59.000");
    EXPECT_EQ(Parsed("2512200714", false), "2007-12-25 14:00:00.000");
    EXPECT_EQ(Parsed("2512200714", true), "2007-12-25 14:59:59.000");
    EXPECT_EQ(Parsed("25122007143", true), "2007-12-25 14:59:59.000");
    EXPECT_EQ(Parsed("25122007143005123", true), "2007-12-25 14:30:05.123");
    EXPECT_EQ(Parsed("251220071430051239999", false), "2007-12-25 14:30:05.123");
    EXPECT_EQ(Parsed("2512", false), "0000-12-25 00:00:00.000");
    EXPECT_EQ(Parsed("2x1207", true), "0007-12-02 23:59:59.000");
    EXPECT_EQ(Parsed("", false), "0000-00-00 00:00:00.000");
}

TEST(QMSortSupport, OrdersByCodeUnit) {
    EXPECT_TRUE(QMSortSupport::Less(L"Zeta", L"alpha"));
    EXPECT_FALSE(QMSortSupport::LessNoSensitive(L"Zeta", L"alpha"));
    EXPECT_TRUE(QMSortSupport::Less(L"ab", L"abc"));
    EXPECT_FALSE(QMSortSupport::Less(L"abc", L"abc"));
    EXPECT_FALSE(QMSortSupport::LessNoSensitive(L"ABC", L"abc"));
    EXPECT_FALSE(QMSortSupport::LessNoSensitive(L"abc", L"ABC"));
    EXPECT_TRUE(QMSortSupport::LessNoSensitive(L"a_", L"AB"));  // '_' < 'b' after folding
    EXPECT_TRUE(QMSortSupport::Less(nullptr, L"a"));
    // A character beyond the basic plane is a surrogate pair, below U+E000.
    EXPECT_TRUE(QMSortSupport::Less(L"\U0001F600", L"\uE000"));
    EXPECT_TRUE(QMSortSupport::Less(L"\U0001F600", L"\U0001F601"));
}

TEST(SendXMLText, WritesTemplatePieces) {
    QMHttpResponse response;
    EXPECT_TRUE(SendXMLText(response, "IDS_120", false));
    EXPECT_EQ(response.Content(), "<textId>IDS_120</textId>");
    response.Clear();
    SendXMLText(response, "a<b & \"c\"", true);
    EXPECT_EQ(response.Content(), "<text><textStr>a&lt;b &amp; &quot;c&quot;</textStr></text>");
    response.Clear();
    SendXMLText(response, "<textStr>x</textStr>", true);
    EXPECT_EQ(response.Content(), "<text><textStr>x</textStr></text>");

    // What is sent renders back to the text.
    response.Clear();
    SendXMLText(response, "5 < 6 & 7", true);
    QMWideString out;
    EXPECT_EQ(ParseXMLText(QMNarrowString(response.Content()), out), L"5 < 6 & 7");
}

TEST(CheckDialogSize, KeepsTheMinimumByMovingTheDraggedEdge) {
    RECT r{100, 100, 200, 150};
    EXPECT_TRUE(CheckDialogSize(1, &r, 300, 80));  // left edge: left moves, bottom moves
    EXPECT_EQ(r.left, -100);
    EXPECT_EQ(r.right, 200);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.bottom, 180);

    r = {0, 0, 500, 500};
    CheckDialogSize(4, &r, -300, -200);  // forced size; top-left moves both low edges
    EXPECT_EQ(r.left, 200);
    EXPECT_EQ(r.top, 300);
    CheckDialogSize(8, &r, -300, 0);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.bottom, 500);

    r = {10, 10, 20, 20};
    CheckDialogSize(2, &r, 0, 5);  // no horizontal limit; height already above the minimum
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right, 20);
    EXPECT_EQ(r.bottom, 20);

    r = {INT_MAX - 5, 0, INT_MAX, 0};
    CheckDialogSize(2, &r, INT_MIN, 10);  // saturates instead of overflowing
    EXPECT_EQ(r.right, INT_MAX);
    EXPECT_TRUE(CheckDialogSize(2, nullptr, 10, 10));
}

}  // namespace
