#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/xml/xml_document.h>

#include "common/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

std::string Xml(const XmlDocument& doc) {
    QMNarrowString out;
    EXPECT_TRUE(doc.CreateXmlCode(out, false));
    return out.str();
}

std::vector<std::wstring> Tags(const XmlDocument::XmlNode& node) {
    std::vector<std::wstring> tags;
    for (auto it = node.ChildsBegin(); it != node.ChildsEnd(); ++it) {
        tags.push_back((*it)->Tag().str() + ((*it)->IsKey() ? L"=" : L""));
    }
    return tags;
}

const char kConfig[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Configuration version=\"2.4\">\n"
    "  <!-- devices -->\n"
    "  <CommSystem>\n"
    "    <Device Name=\"COM1\" Id=\"1\">\n"
    "      <ChildDevices>\n"
    "        <ChildDevice Name=\"METER1\" Address=\"3\"/>\n"
    "        <ChildDevice Name=\"METER2\" Address=\"4\"><Note>spare</Note></ChildDevice>\n"
    "        <ChildDevice Name=\"a/b?c\" Address=\"5\"/>\n"
    "      </ChildDevices>\n"
    "    </Device>\n"
    "  </CommSystem>\n"
    "  <UnitSetups><UnitSetup DriverId=\"7\"><Unit Name=\"VI1\" Decimals=\"2\"/></UnitSetup>"
    "</UnitSetups>\n"
    "  <Screens StartScreen=\"main\"/>\n"
    "  <Text>  a &lt;b&gt; &amp; &#233;  </Text>\n"
    "</Configuration>\n";

class XmlFiles : public ::testing::Test {
  protected:
    TempDir dir_;
};

}  // namespace

TEST(XmlDocument, KeysAndElementsShareOneCollection) {
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse(kConfig));
    EXPECT_TRUE(doc.IsOK());
    EXPECT_EQ(doc.Root().Tag(), L"Configuration");
    EXPECT_EQ(Tags(doc.Root()), (std::vector<std::wstring>{L"version=", L"CommSystem",
                                                           L"UnitSetups", L"Screens", L"Text"}));
    XmlDocument::XmlNode* device = doc.Node(L"CommSystem/Device");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(Tags(*device), (std::vector<std::wstring>{L"Name=", L"Id=", L"ChildDevices"}));
    EXPECT_EQ((*device->ChildsBegin())->Value(), L"COM1");
    EXPECT_EQ(device->Value(L"Name", L"x"), L"COM1");
    EXPECT_EQ(device->Value(L"Missing", L"dflt"), L"dflt");
    // Text keeps its own white space; layout between elements is dropped.
    EXPECT_EQ(doc.Root().Value(L"Text", L""), L"  a <b> & \u00e9  ");
    EXPECT_EQ(doc.Root().Value(), L"");
    EXPECT_EQ(doc.Node(L"Screens")->Parent(), &doc.Root());
    EXPECT_EQ(doc.Node(L"Screens")->Document(), &doc);
}

TEST(XmlDocument, PathsWithSelectorsAndLeadingSlash) {
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse(kConfig));
    XmlDocument::XmlNode& root = doc.Root();
    EXPECT_EQ(root.Value(L"Screens/StartScreen", L""), L"main");
    EXPECT_EQ(root.Value(L"/Screens/StartScreen", L""), L"main");
    EXPECT_EQ(doc.Node(L"/CommSystem"), doc.Node(L"CommSystem"));
    XmlDocument::XmlNode* device = doc.Node(L"CommSystem/Device");
    ASSERT_NE(device, nullptr);
    XmlDocument::XmlNode* meter2 = device->NodeV(L"ChildDevices/ChildDevice?Name=%ls?", L"METER2");
    ASSERT_NE(meter2, nullptr);
    EXPECT_EQ(meter2->Value(L"Address", L""), L"4");
    EXPECT_EQ(device->Value(L"ChildDevices/ChildDevice?Name=METER2?/Note", L""), L"spare");
    // Without the closing mark the value runs to the end; a value may hold "/" and "?".
    EXPECT_EQ(device->Node(L"ChildDevices/ChildDevice?Name=METER2"), meter2);
    EXPECT_EQ(device->Value(L"ChildDevices/ChildDevice?Name=a/b?c?/Address", L""), L"5");
    EXPECT_EQ(device->Value(L"ChildDevices/ChildDevice?Name=a/b?c", L"-"), L"");
    EXPECT_EQ(device->Node(L"ChildDevices/ChildDevice?Name=METER9?"), nullptr);
    // A missing key reads as empty text.
    EXPECT_EQ(device->Node(L"ChildDevices/ChildDevice?Nope=x?"), nullptr);
    EXPECT_EQ(device->Node(L"ChildDevices/ChildDevice?Nope=?"),
              device->Node(L"ChildDevices/ChildDevice"));
    EXPECT_NE(doc.Node(L"UnitSetups")->NodeV(L"UnitSetup?DriverId=%ls", L"7"), nullptr);
    // The path format takes wide text for "%s" and narrow text for "%hs".
    EXPECT_EQ(device->NodeV(L"ChildDevices/ChildDevice?Name=%s?", L"METER2"), meter2);
    EXPECT_EQ(device->NodeV(L"ChildDevices/ChildDevice?Name=%hs%d?", "METER", 2), meter2);
    EXPECT_EQ(doc.Node(L"UnitSetups/UnitSetup?DriverId=7?/Unit?Name=VI1?")->Value(L"Decimals", L""),
              L"2");
    // Keys have no children; malformed or empty paths find nothing.
    EXPECT_EQ(doc.Node(L"Screens/StartScreen/x"), nullptr);
    EXPECT_EQ(doc.Node(L""), nullptr);
    EXPECT_EQ(doc.Node(L"/"), nullptr);
    EXPECT_EQ(doc.Node(L"CommSystem//Device"), nullptr);
    EXPECT_EQ(doc.Node(L"CommSystem?=x"), nullptr);
    EXPECT_EQ(doc.Node(L"CommSystem?Name"), nullptr);
}

TEST(XmlDocument, SetValueCreatesKeysAndOverwritesAnything) {
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse("<a k=\"1\"><e>old</e></a>"));
    XmlDocument::XmlNode& a = doc.Root();
    a.SetValue(L"k", L"2");
    a.SetValue(L"e", L"new");
    a.SetValue(L"n", L"fresh value that is long");
    EXPECT_EQ(Tags(a), (std::vector<std::wstring>{L"k=", L"e", L"n="}));
    EXPECT_EQ(Xml(doc), "<a k=\"2\" n=\"fresh value that is long\">\n\t<e>new</e>\n</a>\n");
    // A value may replace itself, short or long.
    a.Node(L"n")->SetValueUtf8(a.Node(L"n")->ValueUtf8().substr(6));
    EXPECT_EQ(a.Value(L"n", L""), L"value that is long");
    a.Node(L"n")->SetValueUtf8(a.Node(L"n")->ValueUtf8().substr(14));
    EXPECT_EQ(a.Value(L"n", L""), L"long");
    EXPECT_TRUE(a.Erase(L"k"));
    EXPECT_FALSE(a.Erase(L"k"));
    EXPECT_TRUE(a.EraseTag(L"e"));
    EXPECT_EQ(Tags(a), (std::vector<std::wstring>{L"n="}));
}

TEST(XmlDocument, WriterRoundTripsTextKeysAndMixedContent) {
    XmlDocument doc;
    ASSERT_TRUE(doc.Create(L"root"));
    XmlDocument::XmlNode& root = doc.Root();
    root.SetValue(L"q", L"say \"hi\" & 'bye' <now>\ttab\nline\rcr");
    XmlDocument::XmlNode* leaf = root.NewChild(L"leaf");
    leaf->SetValue(L"  spaced \u20ac  ");
    root.NewChild(L"empty");
    XmlDocument::XmlNode* mixed = root.NewChild(L"mixed");
    mixed->SetValue(L"text");
    mixed->NewChild(L"inner")->NewChild(L"deep")->SetValue(L"d");
    // A second key of the same tag cannot be an attribute; it is written as an element.
    XmlDocument::XmlNode twin(&doc, L"q");
    twin.SetValue(L"second");
    XmlDocument::XmlNode* keyCopy = root.AddChild(twin);
    ASSERT_NE(keyCopy, nullptr);

    QMNarrowString text;
    ASSERT_TRUE(doc.CreateXmlCode(text, true));
    EXPECT_EQ(
        text.str(),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<root q=\"say &quot;hi&quot; &amp; &apos;bye&apos; &lt;now&gt;&#9;tab&#10;line&#13;cr\">\n"
        "\t<leaf>  spaced \xE2\x82\xAC  </leaf>\n"
        "\t<empty/>\n"
        "\t<mixed>text<inner><deep>d</deep></inner></mixed>\n"
        "\t<q>second</q>\n"
        "</root>\n");
    // Read back, the text gives the same tree: every value, white space and all.
    XmlDocument again;
    ASSERT_TRUE(again.Parse(text.c_str()));
    EXPECT_EQ(Xml(again), Xml(doc));
}

TEST(XmlDocument, WriterRefusesWhatXmlCannotSay) {
    XmlDocument doc;
    QMNarrowString text;
    EXPECT_FALSE(doc.CreateXmlCode(text));  // empty document
    ASSERT_TRUE(doc.Create(L"root"));
    // Control characters and broken UTF-8 become U+FFFD so the output stays well-formed.
    doc.Root().SetValueUtf8("k", std::string("a\x01"
                                             "b\xC3"
                                             "c\xEF\xBF\xBE",
                                             8));
    EXPECT_EQ(Xml(doc),
              "<root k=\"a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD"
              "c\xEF\xBF\xBD\"/>\n");
    doc.Root().NewChild(L"\u00e9l\u00e9ment");
    EXPECT_TRUE(doc.CreateXmlCode(text));
    XmlDocument::XmlNode* bad = doc.Root().NewChild(L"1st");
    EXPECT_FALSE(doc.CreateXmlCode(text));
    doc.Root().RemoveChild(bad);
    doc.Root().SetValue(L"has space", L"x");
    EXPECT_FALSE(doc.CreateXmlCode(text));
}

TEST(XmlDocument, DeepCopiesThroughAssignmentAndAddChild) {
    XmlDocument source;
    ASSERT_TRUE(source.Parse(kConfig));
    XmlDocument target;
    ASSERT_TRUE(target.Create(L"main"));

    XmlDocument::XmlNode node(&target, L"Copy", -1);
    node = *source.Node(L"CommSystem/Device");
    EXPECT_EQ(node.Tag(), L"Copy");  // assignment keeps the tag
    XmlDocument::XmlNode* added = target.Root().AddChild(node);
    ASSERT_NE(added, nullptr);
    node.SetValue(L"Name", L"changed");
    source.Reset();  // the copy owns everything it holds
    EXPECT_EQ(added->Value(L"Name", L""), L"COM1");
    EXPECT_EQ(added->Parent(), &target.Root());
    EXPECT_EQ(added->Value(L"ChildDevices/ChildDevice?Name=METER2?/Note", L""), L"spare");

    // A node may be copied below itself, and assigned from its own descendant.
    XmlDocument::XmlNode* self = added->AddChild(*added);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->Value(L"ChildDevices/ChildDevice?Name=METER1?/Address", L""), L"3");
    EXPECT_EQ(self->Node(L"Copy"), nullptr);
    *added = *added->Node(L"ChildDevices");
    EXPECT_EQ(added->Size(), 3u);
    EXPECT_EQ(added->Value(L"ChildDevice?Name=METER1?/Address", L""), L"3");

    // A document built from a node, and a detached node without a document.
    XmlDocument fromNode(*added);
    EXPECT_EQ(fromNode.Root().Tag(), L"Copy");
    EXPECT_EQ(Xml(fromNode), Xml(XmlDocument(*target.Node(L"Copy"))));
    XmlDocument::XmlNode orphan(nullptr, L"orphan");
    orphan.NewChild(L"child")->SetValue(L"k", L"v");
    EXPECT_EQ(target.Root().AddChild(orphan)->Value(L"child/k", L""), L"v");
}

TEST(XmlDocument, RemoveChildOnlyRemovesItsOwnChildren) {
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse(kConfig));
    XmlDocument::XmlNode* units = doc.Node(L"UnitSetups");
    XmlDocument::XmlNode* unit = doc.Node(L"UnitSetups/UnitSetup");
    EXPECT_FALSE(doc.Root().RemoveChild(unit));
    EXPECT_FALSE(doc.Root().RemoveChild(nullptr));
    EXPECT_TRUE(units->RemoveChild(unit));
    EXPECT_EQ(units->Size(), 0u);
    EXPECT_EQ(doc.Node(L"UnitSetups/UnitSetup"), nullptr);
    EXPECT_TRUE(doc.Root().RemoveChild(doc.Node(L"version")));
    EXPECT_EQ(Tags(doc.Root()).front(), L"CommSystem");
}

TEST(XmlDocument, MillionNestedElementsCostNoStack) {
    const size_t depth = 1000000;
    std::string text;
    for (size_t i = 0; i < depth; ++i) {
        text += "<a>";
    }
    text += "x";
    for (size_t i = 0; i < depth; ++i) {
        text += "</a>";
    }
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse(text.c_str(), text.size()));
    QMNarrowString out;
    ASSERT_TRUE(doc.CreateXmlCode(out, false));
    XmlDocument copy(doc.Root());
    XmlDocument reread;
    ASSERT_TRUE(reread.Parse(out.c_str(), out.Length()));
    const XmlDocument::XmlNode* node = &reread.Root();
    size_t levels = 1;
    while (node->Size() == 1) {
        node = *node->ChildsBegin();
        ++levels;
    }
    EXPECT_EQ(levels, depth);
    EXPECT_EQ(node->Value(), L"x");
    doc.Root().RemoveChild(*doc.Root().ChildsBegin());
    EXPECT_EQ(doc.Root().Size(), 0u);
}

TEST_F(XmlFiles, LoadFailureThenCreateAndSaveWritesTheFile) {
    std::wstring path = dir_.WidePath("new.xml");
    XmlDocument doc;
    EXPECT_FALSE(doc.Load(path.c_str()));
    EXPECT_EQ(doc.FileName(), path.c_str());
    ASSERT_TRUE(doc.Create(L"main"));
    doc.Root().NewChild(L"events")->SetValue(L"id", L"1");
    ASSERT_TRUE(doc.Save());
    EXPECT_EQ(
        dir_.ReadText("new.xml"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<main>\n\t<events id=\"1\"/>\n</main>\n");
    XmlDocument again;
    ASSERT_TRUE(again.Load(path.c_str()));
    EXPECT_EQ(again.Root().Value(L"events/id", L""), L"1");
    // Parse keeps the name, so the parsed text replaces the file on Save.
    ASSERT_TRUE(again.Parse("<replaced/>"));
    EXPECT_EQ(again.FileName(), path.c_str());
    ASSERT_TRUE(again.Save());
    EXPECT_EQ(dir_.ReadText("new.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<replaced/>\n");
}

TEST_F(XmlFiles, LoadFindsFilesByTheWindowsRulesAndFailsOnBrokenOnes) {
    dir_.WriteText("Config.XML", "<a><b>1</b></a>");
    std::wstring dir = dir_.WidePath();
    dir.pop_back();  // the trailing separator
    XmlDocument doc;
    ASSERT_TRUE(doc.Load((dir + L"\\config.xml").c_str()));
    EXPECT_EQ(doc.Root().Value(L"b", L""), L"1");
    dir_.WriteText("broken.xml", "<a><b>1</b>");
    EXPECT_FALSE(doc.Load(dir_.WidePath("broken.xml").c_str()));
    EXPECT_FALSE(doc.IsOK());
    EXPECT_FALSE(doc.Load(dir.c_str()));  // a directory
    EXPECT_FALSE(doc.Load(nullptr));
}

TEST_F(XmlFiles, FailedSaveLeavesTheOldFileWhole) {
    dir_.WriteText("keep.xml", "<old/>");
    XmlDocument doc;
    doc.SetFileName(dir_.WidePath("keep.xml").c_str());
    EXPECT_FALSE(doc.Save());  // nothing to write
    ASSERT_TRUE(doc.Create(L"new"));
    doc.Root().NewChild(L"bad name");
    EXPECT_FALSE(doc.Save());
    EXPECT_EQ(dir_.ReadText("keep.xml"), "<old/>");
    if (geteuid() != 0) {  // root writes anywhere
        ASSERT_TRUE(doc.Create(L"new"));
        chmod(dir_.Path().c_str(), 0500);
        EXPECT_FALSE(doc.Save());
        chmod(dir_.Path().c_str(), 0700);
        EXPECT_EQ(dir_.ReadText("keep.xml"), "<old/>");
    }
    ASSERT_TRUE(doc.Create(L"new"));
    EXPECT_FALSE(doc.SaveAs(dir_.WidePath("missing/dir/x.xml").c_str()));
    EXPECT_EQ(doc.FileName(), dir_.WidePath("keep.xml").c_str());
    EXPECT_TRUE(doc.SaveAs(dir_.WidePath("other.xml").c_str()));
    EXPECT_EQ(doc.FileName(), dir_.WidePath("other.xml").c_str());
    EXPECT_EQ(dir_.ReadText("keep.xml"), "<old/>");
}

TEST(Text2Xml, EscapesAndUnescapes) {
    QMNarrowString out;
    Text2Xml(out, "a&b<c>d\"e'f\tg\nh\ri \xE2\x82\xAC");
    EXPECT_EQ(out, "a&amp;b&lt;c&gt;d&quot;e&apos;f&#9;g&#10;h&#13;i \xE2\x82\xAC");
    QMNarrowString back;
    Xml2Text(back, out.c_str());
    EXPECT_EQ(back, "a&b<c>d\"e'f\tg\nh\ri \xE2\x82\xAC");
    Xml2Text(back, "&#x20AC;&#8364;&amp;amp; & &bogus; &#0; &#xD800; &#x110000; &");
    EXPECT_EQ(back, "\xE2\x82\xAC\xE2\x82\xAC&amp; & &bogus; &#0; &#xD800; &#x110000; &");
    Text2Xml(out, nullptr);
    EXPECT_EQ(out, "");
}
