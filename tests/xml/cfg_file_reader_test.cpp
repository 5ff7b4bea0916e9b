#include "xml/xml_impl.h"

#include <qmsupport/xml/cfg_file_reader.h>
#include <qmsupport/xml/xml_document.h>

#include "common/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kScreen[] =
    "\xEF\xBB\xBF# a legacy screen\n"
    "Screen {\n"
    "  Image { File = \"back ground.bmp\"  Width = 1024 Height=768 }\n"
    "  Controls {\n"
    "    Control { Type = LABEL  Left = 10  Var = \"METER1#VI1\" }  # trailing comment\n"
    "    Control { Type = BITMAP Left = 20\n"
    "      Bitmaps { Bitmap { File = a.bmp Expression { Variable = \"D#V\" } } }\n"
    "    }\n"
    "  }\n"
    "}\n"
    "Style { Font = \"Arial \\\"Narrow\\\"\\\\x\" Color = #FF0000\n"
    "        Image = \"..\\images\\back.bmp\" }\n";

std::wstring Condition(const char* legacy) {
    XmlDocument doc;
    EXPECT_TRUE(qm::xml::ParseLegacy(doc, legacy)) << legacy;
    const XmlDocument::XmlNode* expression = doc.Node(L"Expression");
    QMWideString out;
    if (!expression || !Expression2Condition(out, *expression)) {
        return L"<false>";
    }
    return out.str();
}

}  // namespace

TEST(LegacyReader, BuildsTheTreeTheConvertersRead) {
    XmlDocument doc;
    ASSERT_TRUE(qm::xml::ParseLegacy(doc, kScreen));
    EXPECT_EQ(doc.Root().Tag(), L"legacy");
    EXPECT_NE(doc.Node(L"Screen/Image/File"), nullptr);
    EXPECT_EQ(doc.Root().Value(L"/Screen/Image/File", L""), L"back ground.bmp");
    EXPECT_EQ(doc.Root().Value(L"/Screen/Image/Height", L""), L"768");
    const XmlDocument::XmlNode* controls = doc.Node(L"/Screen/Controls");
    ASSERT_NE(controls, nullptr);
    ASSERT_EQ(controls->Size(), 2u);
    const XmlDocument::XmlNode* label = *controls->ChildsBegin();
    EXPECT_EQ(label->Value(L"Type", L""), L"LABEL");
    EXPECT_EQ(label->Value(L"/Var", L""), L"METER1#VI1");
    const XmlDocument::XmlNode* bitmap = controls->ChildsBegin()[1];
    EXPECT_EQ(bitmap->Value(L"Bitmaps/Bitmap/File", L""), L"a.bmp");
    EXPECT_NE(bitmap->Node(L"/Bitmaps/Bitmap/Expression"), nullptr);
    EXPECT_EQ(doc.Root().Value(L"/Style/Font", L""), L"Arial \"Narrow\"\\x");
    EXPECT_EQ(doc.Root().Value(L"/Style/Color", L""), L"#FF0000");
    EXPECT_EQ(doc.Root().Value(L"/Style/Image", L""), L"..\\images\\back.bmp");
    // The converted tree can be written and read back.
    QMNarrowString xml;
    ASSERT_TRUE(doc.CreateXmlCode(xml));
    XmlDocument again;
    ASSERT_TRUE(again.Parse(xml.c_str()));
    EXPECT_EQ(again.Root().Value(L"Style/Font", L""), L"Arial \"Narrow\"\\x");
}

TEST(LegacyReader, ReadsWindows1252Files) {
    XmlDocument doc;
    ASSERT_TRUE(qm::xml::ParseLegacy(doc, "Style { Font = \"Caf\xE9 \x80\" }"));
    EXPECT_EQ(doc.Root().Value(L"Style/Font", L""), L"Caf\u00e9 \u20ac");
    ASSERT_TRUE(qm::xml::ParseLegacy(doc, "Style { Font = \"Caf\xC3\xA9\" }"));
    EXPECT_EQ(doc.Root().Value(L"Style/Font", L""), L"Caf\u00e9");
}

TEST(LegacyReader, MalformedFilesFailCleanly) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) {
        deep += "A {";
    }
    for (int i = 0; i < 100000; ++i) {
        deep += "}";
    }
    const std::string broken[] = {
        "Screen {",            // unterminated block
        "Screen { A = 1 } }",  // stray closing brace
        "A = \"open",          // unterminated string
        "A = \"ends in \\",    // escape at the end
        "A =",                 // missing value
        "A = }",               // missing value
        "A",                   // neither block nor key
        "A B = 1",             // two names
        "= 1",                 // no name
        "1st = 2",             // not a valid name
        "\"quoted\" = 2",      // not a name
        deep,                  // nesting beyond reason
    };
    for (const std::string& text : broken) {
        XmlDocument doc;
        EXPECT_FALSE(qm::xml::ParseLegacy(doc, text)) << text.substr(0, 40);
        EXPECT_FALSE(doc.IsOK());
    }
    XmlDocument doc;
    EXPECT_TRUE(qm::xml::ParseLegacy(doc, "# only a comment"));
    EXPECT_EQ(doc.Root().Size(), 0u);
}

TEST(LegacyReader, ConvertsAFileAndNamesTheDocument) {
    TempDir dir;
    dir.WriteText("Security.cfg", "Security { Profiles { Profile { Name = admin } } }");
    std::wstring wdir = dir.WidePath();
    wdir.pop_back();  // the trailing separator
    XmlDocument doc;
    // Windows rules: any case, either separator.
    ASSERT_TRUE(QMCfgFile2XmlDocument((wdir + L"\\security.CFG").c_str(),
                                      (wdir + L"/Security.xcfg").c_str(), doc));
    EXPECT_EQ(doc.FileName(), (wdir + L"/Security.xcfg").c_str());
    EXPECT_EQ(doc.Root().Value(L"/Security/Profiles/Profile/Name", L""), L"admin");
    ASSERT_TRUE(doc.Save());
    XmlDocument saved;
    ASSERT_TRUE(saved.Load((wdir + L"/Security.xcfg").c_str()));
    EXPECT_EQ(saved.Root().Value(L"Security/Profiles/Profile/Name", L""), L"admin");

    EXPECT_FALSE(QMCfgFile2XmlDocument((wdir + L"/missing.cfg").c_str(), L"", doc));
    EXPECT_FALSE(doc.IsOK());
    dir.WriteText("broken.cfg", "Security { Profiles {");
    EXPECT_FALSE(QMCfgFile2XmlDocument((wdir + L"/broken.cfg").c_str(), L"", doc));
}

TEST(Expression2Condition, WritesNestedOperationsWithParentheses) {
    EXPECT_EQ(Condition("Expression { Variable = \"DEV#VAR\" }"), L"[DEV#VAR]");
    EXPECT_EQ(Condition("Expression { Operator = \">\" Left { Variable = \"DEV#VAR\" }"
                        " Right { Constant = 230 } }"),
              L"[DEV#VAR] > 230");
    EXPECT_EQ(Condition("Expression { Operator = AND"
                        "  Left { Operator = \">\" Left { Variable = A#U } Right { Constant = 1 } }"
                        "  Right { Operator = NOT Left { Operator = \"<=\""
                        "    Left { Variable = B#I } Right { Constant = 2.5 } } } }"),
              L"([A#U] > 1) AND (NOT ([B#I] <= 2.5))");
    EXPECT_EQ(Condition("Expression { Operator = NOT Left { Variable = X#Y } }"), L"NOT [X#Y]");
    // An operand may wrap a whole expression block.
    EXPECT_EQ(Condition("Expression { Operator = OR Left { Expression { Variable = A#B } }"
                        " Right { Constant = 0 } }"),
              L"[A#B] OR 0");
}

TEST(Expression2Condition, IncompleteExpressionsGiveFalse) {
    EXPECT_EQ(Condition("Expression { }"), L"<false>");
    EXPECT_EQ(Condition("Expression { Operator = \">\" Left { Variable = A#B } }"), L"<false>");
    EXPECT_EQ(Condition("Expression { Operator = NOT }"), L"<false>");
    EXPECT_EQ(Condition("Expression { Operator = \">\" Left { } Right { Constant = 1 } }"),
              L"<false>");
    EXPECT_EQ(Condition("Expression { Constant = \"\" }"), L"<false>");
    // A chain deeper than any legacy file is refused instead of exhausting the stack.
    XmlDocument doc;
    ASSERT_TRUE(doc.Create(L"Expression"));
    XmlDocument::XmlNode* node = &doc.Root();
    for (int i = 0; i < 5000; ++i) {
        node->SetValue(L"Operator", L"NOT");
        node = node->NewChild(L"Left");
    }
    node->SetValue(L"Variable", L"A#B");
    QMWideString out = L"stale";
    EXPECT_FALSE(Expression2Condition(out, doc.Root()));
    EXPECT_EQ(out, L"");
}
