#include <qmsupport/values/value.h>

#include <gtest/gtest.h>

namespace {

// A complex value that claims a kind outside the family.
class ForeignKind : public QMValueComplex {
  public:
    explicit ForeignKind(int kind) : kind_(kind) {}
    int Type() const override { return kind_; }

  private:
    int kind_;
};

}  // namespace

TEST(Value, EmptyValueReadsAsNothing) {
    const QMValue fresh;
    for (const QMValue* value : {&QMValue::nullValue, &fresh}) {
        EXPECT_EQ(value->Type(), 0);
        EXPECT_STREQ(value->String(), L"");
        EXPECT_STREQ(value->XmlString(), "");
        EXPECT_EQ(value->Complex(), nullptr);
        EXPECT_EQ(value->Numeric(), 0.0);
    }
}

TEST(Value, NumberSurvivesKindChangesAndTextsStayApart) {
    QMValue v;
    v.SetNumeric(2.5);
    EXPECT_TRUE(v.IsNumeric());
    v.SetString(L"x\u00e9");
    EXPECT_TRUE(v.IsString());
    EXPECT_STREQ(v.String(), L"x\u00e9");
    EXPECT_STREQ(v.XmlString(), "");
    EXPECT_EQ(v.Numeric(), 2.5);
    v.SetXmlString("<a>\xc3\xa9</a>");
    EXPECT_TRUE(v.IsXmlString());
    EXPECT_STREQ(v.XmlString(), "<a>\xc3\xa9</a>");
    EXPECT_STREQ(v.String(), L"");
    v.Reset();
    EXPECT_EQ(v.Type(), 0);
    EXPECT_EQ(v.Value(), 2.5);

    // Assignment copies the number only from a numeric value.
    QMValue text;
    text.SetString(L"t");
    v = text;
    EXPECT_EQ(v.Numeric(), 2.5);
    QMValue number;
    number.SetNumeric(-1.0);
    v = number;
    EXPECT_TRUE(v.IsNumeric());
    EXPECT_EQ(v.Numeric(), -1.0);

    // Null texts are stored as empty texts of the requested kind.
    v.SetString(nullptr);
    EXPECT_TRUE(v.IsString());
    EXPECT_STREQ(v.String(), L"");
    v.SetXmlString(nullptr);
    EXPECT_TRUE(v.IsXmlString());
}

TEST(Value, CopiesOwnTheirPayload) {
    QMValue a;
    a.SetString(L"first");
    QMValue b(a);
    EXPECT_NE(a.String(), b.String());
    b.SetString(L"second");
    EXPECT_STREQ(a.String(), L"first");

    QMValueComplexFO fo;
    fo.AddValue(1.0, 0.0);
    a.SetComplex(fo);
    b = a;
    ASSERT_NE(b.Complex(), a.Complex());
    a.SetString(L"replaces the complex payload");
    EXPECT_EQ(b.Complex()->Type(), 2);
    EXPECT_EQ(static_cast<const QMValueComplexFO*>(b.Complex())->Value(0), 1.0);
}

TEST(Value, SetComplexRejectsUnknownKinds) {
    QMValue v;
    v.SetNumeric(3.0);
    for (int kind : {0, 10, -1}) {
        v.SetString(L"old");
        v.SetComplex(ForeignKind(kind));
        EXPECT_EQ(v.Type(), 0) << kind;
        EXPECT_EQ(v.Complex(), nullptr);
    }
    EXPECT_EQ(v.Numeric(), 3.0);
}

TEST(Value, SelfAssignmentAndSelfFeedingKeepThePayload) {
    QMValue v;
    v.SetString(L"kept");
    const QMValue& same = v;
    v = same;
    EXPECT_STREQ(v.String(), L"kept");
    v.SetString(v.String());
    EXPECT_STREQ(v.String(), L"kept");
    v.SetXmlString("xml");
    v.SetXmlString(v.XmlString());
    EXPECT_STREQ(v.XmlString(), "xml");

    QMValueComplexImageBuffer image;
    image.SetImage(QMNarrowString("\x89PNG", 4));
    v.SetComplex(image);
    v = same;
    v.SetComplex(*v.Complex());
    ASSERT_EQ(v.Complex()->Type(), 6);
    EXPECT_EQ(static_cast<const QMValueComplexImageBuffer*>(v.Complex())->Image(), "\x89PNG");
}
