#include <qmsupport/xml/xml_document.h>

#include "common/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;

std::string Xml(const XmlDocument& doc) {
    QMNarrowString out;
    EXPECT_TRUE(doc.CreateXmlCode(out, false));
    return out.str();
}

// A document that must be refused for the given reason, found at line 1 and `column`; the
// tree parsed before it is gone.
struct Refused {
    std::string text;
    std::string reason;
    int column;
};

void ExpectRefused(const std::vector<Refused>& cases) {
    for (const Refused& c : cases) {
        XmlDocument doc;
        ASSERT_TRUE(doc.Parse("<old><x/></old>"));
        EXPECT_FALSE(doc.Parse(c.text.data(), c.text.size())) << c.text;
        EXPECT_FALSE(doc.IsOK()) << c.text;
        EXPECT_THAT(std::string(doc.ErrorMessage()), HasSubstr(c.reason)) << c.text;
        EXPECT_EQ(doc.ErrorLine(), 1) << c.text;
        EXPECT_EQ(doc.ErrorColumn(), c.column) << c.text;
        EXPECT_EQ(doc.Root().Size(), 0u) << c.text;
    }
}

std::string Repeat(const std::string& piece, size_t count) {
    std::string text;
    text.reserve(piece.size() * count);
    for (size_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

// Latin-1 text in UTF-16 with its byte order mark.
std::string Utf16(const std::string& latin1, bool littleEndian) {
    std::string text = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char c : latin1) {
        text += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    }
    return text;
}

}  // namespace

TEST(XmlStrictness, WellFormedCornersLoad) {
    // Fifth-edition name characters: Glagolitic, a supplementary-plane letter, middle dot.
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse("<\xE2\xB0\x80 \xF0\x90\x80\x80=\"1\" a\xC2\xB7-.9=\"2\"/>"));
    EXPECT_EQ(doc.Root().Tag(), L"\u2C00");
    EXPECT_EQ(doc.Root().Value(L"\U00010000", L""), L"1");
    EXPECT_EQ(doc.Root().Value(L"a\u00B7-.9", L""), L"2");
    // Each document with the value of its root's key `k`, or of the root itself.
    const struct {
        std::string text;
        bool key;
        std::wstring value;
    } cases[] = {
        {"<a>&#x10000;&#65;&lt;</a>", false, L"\U00010000A<"},
        {"<!DOCTYPE a><a>&amp;<![CDATA[<x>]]><?pi data?></a>", false, L"&<x>"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<!DOCTYPE a>\n<a/>", false,
         L""},
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><a k=\"\x80\xE9\"/>", true,
         L"\u20ac\u00e9"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>", false, L"\u00e9"},
        {Utf16("<a k=\"\xE9\"/>", true), true, L"\u00e9"},
        {Utf16("<a k=\"\xE9\"/>", false), true, L"\u00e9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(doc.Parse(c.text.data(), c.text.size())) << doc.ErrorMessage();
        EXPECT_EQ(c.key ? doc.Root().Value(L"k", L"") : doc.Root().Value(), c.value);
    }
}

TEST(XmlStrictness, MalformedDocumentsAreRefusedForTheirReason) {
    ExpectRefused({
        // Content.
        {"", "no complete root element", 1},
        {"text", "document is empty", 1},
        {"<a>1 < 2</a>", "invalid element name", 7},
        {"<a>\xC3\x28</a>", "input is not proper UTF-8", 4},
        {"<a>]]></a>", "sequence ']]>' not allowed in content", 4},
        {"<a><!-- -- --></a>", "double hyphen within comment", 9},
        {std::string("<a/>\0<b/>", 9), "extra content at the end of the document", 5},
        // Names.
        {"<1a/>", "invalid element name", 2},
        {"<-a/>", "invalid element name", 2},
        {"<\xC2\xB7\x61/>", "invalid element name", 2},
        {"<a 1b=\"x\"/>", "error parsing attribute name", 4},
        // Attributes.
        {"<a x=\"1\" x=\"2\"/>", "attribute 'x' redefined", 15},
        {"<a b=1/>", "\" or ' expected", 6},
        {"<a b=\"<\"/>", "unescaped '<' not allowed in attributes values", 7},
        {"<a x=\"1\"y=\"2\"/>", "attributes construct error", 9},
        // References.
        {"<a>&u;</a>", "entity 'u' is not declared", 7},
        {"<a>&#xZZ;</a>", "invalid hexadecimal value", 7},
        {"<a>&#0;</a>", "invalid xmlChar value 0", 8},
        {"<a>&#xD800;</a>", "invalid xmlChar value 55296", 12},
        {"<a>a & b</a>", "no name", 7},
        {"<a>&amp</a>", "expecting ';'", 8},
        // Structure.
        {"<a/>tail", "extra content at the end of the document", 5},
        {"<a/><b/>", "extra content at the end of the document", 5},
        {"<a><b></a>", "opening and ending tag mismatch: b line 1 and a", 11},
        {"<a><b></b>", "ends before element 'a' is closed", 11},
        {"<a", "no complete root element", 1},
        // Declarations.
        {" <?xml version=\"1.0\"?><a/>", "XML declaration allowed only at the start", 7},
        {"<a/><?xml version=\"1.0\"?>", "XML declaration allowed only at the start", 10},
        {"<?xml version=\"2.0\"?><a/>", "unsupported version '2.0'", 20},
        {"<?xml version=\"1.0\" standalone=\"maybe\"?><a/>", "standalone accepts only", 33},
        {"<?xml encoding=\"UTF-8\"?><a/>", "expecting version", 7},
        {"<?xml version=\"1.0\" encoding=\"x-unknown\"?><a/>", "unsupported encoding x-unknown",
         41},
    });
    XmlDocument doc;
    EXPECT_FALSE(doc.Parse(nullptr));
    EXPECT_FALSE(doc.Parse("<a>\n  <b>\n  </c>\n</a>\n"));
    EXPECT_EQ(doc.ErrorLine(), 3);
    EXPECT_THAT(std::string(doc.ErrorMessage()), HasSubstr("mismatch"));
    // A success clears the last failure.
    ASSERT_TRUE(doc.Parse("<a/>"));
    EXPECT_EQ(doc.ErrorMessage(), "");
    EXPECT_EQ(doc.ErrorLine(), 0);
}

TEST(XmlEntities, InternalEntitiesExpandWhereDeclared) {
    XmlDocument doc;
    ASSERT_TRUE(
        doc.Parse("<!DOCTYPE a [<!ENTITY e \"x&amp;y\"><!ENTITY m \"<b k='1'>t</b>\">"
                  "<!ENTITY unused \"u\"><!ENTITY % p \"<!ENTITY q 'pe'>\"> %p;"
                  "<!ATTLIST a d CDATA \"def\">]><a k=\"&e;\">&e;&m;&q;</a>"));
    EXPECT_EQ(doc.Root().Value(L"k", L""), L"x&y");
    EXPECT_EQ(doc.Root().Value(L"d", L""), L"def");
    EXPECT_EQ(doc.Root().Value(), L"x&ype");
    EXPECT_EQ(doc.Root().Value(L"b/k", L""), L"1");
    EXPECT_EQ(doc.Root().Value(L"b", L""), L"t");
    // An entity that names itself, directly or not, is refused.
    ExpectRefused({
        {"<!DOCTYPE a [<!ENTITY e \"&f;\"><!ENTITY f \"&e;\">]><a>&e;</a>", "entity reference loop",
         4},
        {"<!DOCTYPE a [<!ENTITY e \"&e;\">]><a k=\"&e;\"/>", "entity reference loop", 42},
    });
}

TEST(XmlEntities, AmplificationFailsFast) {
    std::string laughs = "<!DOCTYPE l [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " \"" +
                  Repeat("&l" + std::to_string(i - 1) + ";", 10) + "\">";
    }
    laughs += "]>";
    const std::string big = std::string(50000, 'x');
    const std::string refs = Repeat("&e;", 50000);
    const std::string quadratic = "<!DOCTYPE q [<!ENTITY e \"" + big + "\">]>";
    const std::string defaults = "<!DOCTYPE q [<!ATTLIST b d CDATA \"" + big + "\">]>";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {laughs + "<l>&l9;</l>", "entity reference loop"},
        {laughs + "<l k=\"&l9;\"/>", "entity reference loop"},
        {quadratic + "<q>" + refs + "</q>", "expands to many times its size"},
        {quadratic + "<q k=\"" + refs + "\"/>", "length too long"},
        {defaults + "<q>" + Repeat("<b/>", 50000) + "</q>", "expands to many times its size"},
    };
    for (const auto& [text, reason] : cases) {
        XmlDocument doc;
        EXPECT_FALSE(doc.Parse(text.data(), text.size())) << reason;
        EXPECT_THAT(std::string(doc.ErrorMessage()), HasSubstr(reason));
    }
}

TEST(XmlEntities, ExternalEntitiesAreNeverRead) {
    TempDir temp;
    temp.WriteText("secret.txt", "SECRET");
    temp.WriteText("secret.dtd", "<!ENTITY e \"SECRET\"><!ATTLIST a s CDATA \"SECRET\">");
    std::string dir = temp.Path();
    dir.pop_back();  // the trailing separator
    const std::string uri = "file://" + dir;
    const std::string loaded[] = {
        // An external general entity, by URI and by path: the reference stays empty.
        "<!DOCTYPE a [<!ENTITY x SYSTEM \"" + uri + "/secret.txt\">]><a>[&x;]</a>",
        "<!DOCTYPE a [<!ENTITY x SYSTEM \"" + dir + "/secret.txt\">]><a>[&x;]</a>",
        // An external parameter entity and an external subset: what they would declare is
        // unknown, so its references are skipped.
        "<!DOCTYPE a [<!ENTITY % p SYSTEM \"" + uri + "/secret.dtd\"> %p;]><a>[&e;]</a>",
        "<!DOCTYPE a SYSTEM \"" + uri + "/secret.dtd\"><a>[&e;]</a>",
    };
    for (const std::string& text : loaded) {
        XmlDocument doc;
        ASSERT_TRUE(doc.Parse(text.c_str())) << text << ": " << doc.ErrorMessage();
        EXPECT_EQ(Xml(doc), "<a>[]</a>\n") << text;
    }
    XmlDocument doc;
    EXPECT_FALSE(doc.Parse(
        ("<!DOCTYPE a [<!ENTITY x SYSTEM \"" + uri + "/secret.txt\">]><a k=\"&x;\"/>").c_str()));
    EXPECT_THAT(std::string(doc.ErrorMessage()), HasSubstr("external entity 'x'"));
}

TEST(XmlLimits, NestingBeyondAMillionLevelsFails) {
    const size_t depth = (1u << 20) + 1;
    std::string text = Repeat("<a>", depth) + Repeat("</a>", depth);
    XmlDocument doc;
    EXPECT_FALSE(doc.Parse(text.data(), text.size()));
    EXPECT_THAT(std::string(doc.ErrorMessage()), HasSubstr("nested too deeply"));
}

// Screens carry images as base64 in one attribute; such values load whole, however long.
TEST(XmlLimits, HundredMegabyteValuesLoad) {
    // A document that declares an entity gives up long values on its own parser only.
    XmlDocument withEntity;
    ASSERT_TRUE(withEntity.Parse("<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>"));
    const size_t size = 100u << 20;
    for (bool attribute : {true, false}) {
        std::string text = attribute ? "<a k=\"" : "<a>";
        text.append(size, 'Q');
        text += attribute ? "\"/>" : "</a>";
        XmlDocument doc;
        ASSERT_TRUE(doc.Parse(text.data(), text.size())) << doc.ErrorMessage();
        const XmlDocument::XmlNode* node = attribute ? doc.Node(L"k") : &doc.Root();
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->ValueUtf8().size(), size);
    }
}
