#include <qmsupport/legacy/style_record.h>
#include <qmsupport/legacy/transform_style_to25.h>

#include "legacy/document_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Migrated(const char* style) {
    XmlDocument document;
    EXPECT_TRUE(document.Parse(style));
    document.SetFileName(L"/cfg/Title.xsty");
    EXPECT_TRUE(QMTransformStyleTo25().Transform(document));
    EXPECT_EQ(document.FileName(), L"/cfg/Title.xsty");
    return DocumentText(document);
}

// The "font" (and "style") children a look is written as, under an empty element.
std::string Look(const char* element, bool* written = nullptr) {
    XmlDocument source;
    EXPECT_TRUE(source.Parse(element));
    StyleRecord look;
    look.Read(&source.Root());
    XmlDocument target;
    EXPECT_TRUE(target.Create(L"x"));
    const bool result = look.Write(&target.Root());
    if (written != nullptr) {
        *written = result;
    }
    return DocumentText(target);
}

}  // namespace

TEST(StyleTo25, OldLookBecomesFontChildAndNameBecomesId) {
    EXPECT_EQ(Migrated("<design id='old' name='Title' font='Arial' style='3' size='10.00' "
                       "color='0000FF' extra='1'><junk/></design>"),
              "<style id=\"Title\" version=\"2.5\"><font name=\"Arial\" style=\"ITALICBOLD\" "
              "size=\"10\" color=\"0000FF\" orientation=\"0.00\"/></style>");
}

TEST(StyleTo25, DocumentsAt25OrLaterAreLeftAlone) {
    for (const char* version : {"2.5", "2.7", " 3"}) {
        const std::string style =
            std::string("<design version='") + version + "' name='A' font='Arial'/>";
        XmlDocument document;
        ASSERT_TRUE(document.Parse(style.c_str()));
        const std::string before = DocumentText(document);
        EXPECT_TRUE(QMTransformStyleTo25().Transform(document));
        EXPECT_EQ(DocumentText(document), before) << version;
    }
    // Below 2.5, or not a number, the document is migrated.
    EXPECT_EQ(Migrated("<design version='2.4' name='A'/>"), "<style id=\"A\" version=\"2.5\"/>");
    EXPECT_EQ(Migrated("<design version='new' name='A'/>"), "<style id=\"A\" version=\"2.5\"/>");
}

TEST(StyleTo25, FontValuesAreConvertedAndDefaulted) {
    // No size: the default 3.0, truncated; size 10.9 truncates; style 7 is normal.
    EXPECT_EQ(Look("<c font='Arial'/>"),
              "<x><font name=\"Arial\" style=\"NORMAL\" size=\"3\" color=\"000000\" "
              "orientation=\"0.00\"/></x>");
    EXPECT_EQ(Look("<c font='Arial' size='10.9' style='7' color='ff' orientation='90'/>"),
              "<x><font name=\"Arial\" style=\"NORMAL\" size=\"10\" color=\"0000FF\" "
              "orientation=\"90.00\"/></x>");
    // Hexadecimal colours saturate at a 32-bit long; sizes beyond an int saturate too.
    for (auto [element, part] :
         {std::pair{"<c font='A' style='1'/>", "style=\"BOLD\""},
          {"<c font='A' style='2'/>", "style=\"ITALIC\""},
          {"<c font='A' color='FFFFFFFF' size='1e300'/>", "size=\"2147483647\" color=\"7FFFFFFF\""},
          {"<c font='A' size='-1e300' color='-1'/>", "size=\"-2147483648\" color=\"FFFFFFFF\""}}) {
        EXPECT_TRUE(Has(Look(element), part)) << element;
    }
}

TEST(StyleTo25, LookValuesNeedAFontAndTheStyleFileComesFirst) {
    bool written = true;
    EXPECT_EQ(Look("<c styleFile='Big' size='20' style='1' color='FF'/>", &written),
              "<x><style>Big</style></x>");
    EXPECT_FALSE(written);
    EXPECT_EQ(Look("<c styleFile='Big' font='Tahoma' size='12'/>", &written),
              "<x><style>Big</style><font name=\"Tahoma\" style=\"NORMAL\" size=\"12\" "
              "color=\"000000\" orientation=\"0.00\"/></x>");
    EXPECT_TRUE(written);
    // An invalid record keeps its defaults, writes nothing and reports success.
    written = false;
    EXPECT_EQ(Look("<c size='20' style='1' color='FF' orientation='4'/>", &written), "<x/>");
    EXPECT_TRUE(written);
    XmlDocument source;
    ASSERT_TRUE(source.Parse("<c size='20' style='1' color='FF' orientation='4'/>"));
    StyleRecord look;
    EXPECT_FALSE(look.Read(&source.Root()));
    EXPECT_FALSE(look.valid);
    EXPECT_EQ(look.size, 3.0);
    EXPECT_EQ(look.style, 0);
    EXPECT_EQ(look.color, 0u);
    EXPECT_EQ(look.orientation, 0.0);
}
