#include <qmsupport/store/resource_chain.h>
#include <qmsupport/text/parse_xml_text.h>
#include <qmsupport/toolsapi/locale_info.h>

#include "common/temp_dir.h"
#include "text/text_pieces.h"
#include "text/wide_printer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qm::text::AppendFormattedParams;
using qm::text::FormatDateByPattern;
using qm::text::FormatValueText;
using qm::text::kMaxFieldWidth;
using qm::text::TextParam;

class TextTemplate : public ::testing::Test {
  protected:
    void SetUp() override { SetLocaleName("en_US"); }
    void TearDown() override { SetLocaleName(""); }

    static std::wstring Render(const char* utf8) {
        QMWideString out(L"stale");
        return ParseXMLText(QMNarrowString(utf8), out).str();
    }
    static std::wstring Params(const wchar_t* format, const std::vector<TextParam>& params) {
        QMWideString out;
        AppendFormattedParams(out, format, params);
        return out.str();
    }
};

TEST_F(TextTemplate, ValueTrimsOrPadsDecimals) {
    EXPECT_EQ(FormatValueText(3.5, 0, 2, false, false, false), L"3.5");
    EXPECT_EQ(FormatValueText(3.5, 0, 2, false, false, true), L"3.50");
    EXPECT_EQ(FormatValueText(3, 0, 2, false, false, false), L"3");
    EXPECT_EQ(FormatValueText(10, 0, 0, false, false, true), L"10");
    EXPECT_EQ(FormatValueText(2.5, 0, -1, false, false, true), L"2.5");
    EXPECT_EQ(FormatValueText(1.0 / 3, 0, -1, false, false, false), L"0.33333");
}

TEST_F(TextTemplate, ValueOverflowAndLeftPadding) {
    EXPECT_EQ(FormatValueText(7, 3, 0, false, true, false), L"007");
    EXPECT_EQ(FormatValueText(-7, 3, 0, false, true, false), L"-007");
    EXPECT_EQ(FormatValueText(-7, 2, 0, false, true, false), L"-07");
    EXPECT_EQ(FormatValueText(-7, 1, 0, false, true, false), L"*");  // the sign counts
    EXPECT_EQ(FormatValueText(1234, 3, 0, false, false, false), L"***");
    EXPECT_EQ(FormatValueText(1234, 3, 2, false, true, true), L"***.**");
    EXPECT_EQ(FormatValueText(7, 5, 0, true, true, false), L"00,007");
    // Absurd digit counts stay bounded.
    EXPECT_EQ(FormatValueText(12, 1, 2000000000, false, false, false).Length(),
              2u + kMaxFieldWidth);
    EXPECT_FALSE(FormatValueText(1e300, 0, 2000000000, true, true, true).IsEmpty());
}

TEST_F(TextTemplate, ValueGroupingWithLocaleSeparators) {
    EXPECT_EQ(FormatValueText(1234567, 0, 0, true, false, false), L"1,234,567");
    EXPECT_EQ(FormatValueText(-123456.25, 0, 2, true, false, false), L"-123,456.25");
    EXPECT_EQ(Render("<textValue value='1234567' thousandSeparator='t'/>"), L"1234567");
    SetLocaleName("de_DE");
    EXPECT_EQ(FormatValueText(1234567.5, 0, 2, true, false, true), L"1.234.567,50");
    SetLocaleName("es_ES");
    EXPECT_EQ(Render("<textValue value='-1234.5' decimals='3' thousandSeparator='T'/>"),
              L"-1.234,5");
}

TEST_F(TextTemplate, DatePatternsAndQuotes) {
    const QMDateTime date(2007, 12, 25, 14, 5, 9);  // a Tuesday
    EXPECT_EQ(FormatDateByPattern(L"dd/MM/yyyy HH:mm:ss", date), L"25/12/2007 14:05:09");
    EXPECT_EQ(FormatDateByPattern(L"d-M-yy h", date), L"25-12-2007 h");
    EXPECT_EQ(FormatDateByPattern(L"MMM MMMM E EEEE", date), L"Dec December Tue Tuesday");
    EXPECT_EQ(FormatDateByPattern(L"'at' HH 'o''clock' ''m''", date), L"at 14 o'clock '5'");
    EXPECT_EQ(FormatDateByPattern(L"'yyyy", date), L"yyyy");
    EXPECT_EQ(FormatDateByPattern(L"", date), L"");
    SetLocaleName("de_DE");
    EXPECT_EQ(FormatDateByPattern(L"EEEE, d. MMMM", date), L"Dienstag, 25. Dezember");
}

TEST_F(TextTemplate, DatePieceFallsBackToItsText) {
    EXPECT_EQ(Render("<textDate date='2007-12-25 14:05:09' pattern='yyyyMMdd'/>"), L"20071225");
    EXPECT_EQ(Render("<textDate date='yesterday' pattern='yyyy'/>"), L"yesterday");
    EXPECT_EQ(Render("<textDate pattern='yyyy'/>"), L"");
}

TEST_F(TextTemplate, ParamsFillPlaceholdersInOrder) {
    EXPECT_EQ(Params(L"%d%%", {5}), L"5%");
    EXPECT_EQ(Params(L"no placeholder", {5, 6}), L"no placeholder");
    EXPECT_EQ(Params(L"%s=%.2f (%x, %c) %-4s|", {L"pi", 3.14159, 255, 65, L"ab"}),
              L"pi=3.14 (ff, A) ab  |");
    EXPECT_EQ(Params(L"%hhd %lld %llx %+05i", {300, -1, -1, 42}), L"44 -1 ffffffffffffffff +0042");
    EXPECT_EQ(Params(L"%d", {1, 2}), L"1");
    EXPECT_EQ(Params(L"%s and %s, 50%%", {L"one"}), L"one and %s, 50%");
    EXPECT_EQ(Params(L"50%% of %d", {}), L"50% of %d");
}

TEST_F(TextTemplate, HostilePlaceholdersRenderAsText) {
    EXPECT_EQ(Params(L"%n|%s|%d|%c|%*d|%Ld|%p", {1, 2, L"x", -1, 3, 5, 4.0}),
              L"%n|%s|%d|%c|%*d|%Ld|%p");
    EXPECT_EQ(Params(L"%s %d", {std::monostate{}, std::monostate{}}), L"%s %d");
    EXPECT_EQ(Params(L"100%", {1}), L"100%");
    EXPECT_EQ(Params(L"%", {1}), L"%");
    EXPECT_EQ(Params(L"%-%d", {1, 2}), L"%-2");
    std::wstring wide = Params(L"[%999999999d]", {5});
    EXPECT_EQ(wide.size(), kMaxFieldWidth + 2u);
    EXPECT_EQ(wide.substr(wide.size() - 2), L"5]");
    EXPECT_LE(Params(L"%.999999999f", {1e308}).size(), 320u + kMaxFieldWidth);
}

TEST_F(TextTemplate, WholeTemplates) {
    EXPECT_EQ(Render("<text><textStr>Load </textStr><textValue value='3.5' decimals='2' "
                     "rightPadding='1'/><textStr> kW, </textStr><textParams textStr='%d%%'>"
                     "<paramInteger>5</paramInteger></textParams><unknown>x</unknown></text>"),
              L"Load 3.50 kW, 5%");
    EXPECT_EQ(Render("<textStr>a</textStr><textValue value='7' integers='3' leftPadding='1'/>"),
              L"a007");
    EXPECT_EQ(Render("<textParams textId='%s: %d'><paramStr>n</paramStr><param>x</param>"
                     "<paramDouble>2</paramDouble></textParams>"),
              L"n: %d");
    EXPECT_EQ(Render("Fish & chips"), L"Fish & chips");
    EXPECT_EQ(Render("word"), L"");
    EXPECT_EQ(Render("<text a='1'/>"), L"");  // wrapped in a second "text": nothing renders
    XmlDocument other;
    ASSERT_TRUE(other.Parse("<texts><textStr>a</textStr></texts>"));
    QMWideString out(L"stale");
    EXPECT_EQ(ParseXMLText(other.Root(), out), L"");
}

TEST_F(TextTemplate, StringResources) {
    TempDir dir;
    dir.WriteText("strings.xml", "<strings><s id='0'>zero</s><s id='120'>Voltage %s</s></strings>");
    int module = qm::platform::ResourceChain::AddModule(dir.Path());
    ASSERT_GE(module, 0);
    EXPECT_EQ(Render("<textId>IDS_120</textId><textId>IDS_</textId><textId>X_1</textId>"),
              L"Voltage %szero");
    EXPECT_EQ(Render("<textParams textId='IDS_120'><paramId>IDS_0</paramId></textParams>"
                     "<textParams textStr='[%s]'><paramId>0</paramId></textParams>"),
              L"Voltage zero[%s]");
    qm::platform::ResourceChain::RemoveModule(module);
}

}  // namespace
