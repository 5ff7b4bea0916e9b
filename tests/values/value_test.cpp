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
    }
}

TEST(Value, NumberSurvivesKindChangesAndTextsStayApart) {
    QMValue v;
    v.SetNumeric(2.5);
    v.SetString(L"x\u00e9");
    EXPECT_TRUE(v.IsString());
    EXPECT_STREQ(v.String(), L"x\u00e9");
    EXPECT_STREQ(v.XmlString(), "");
    EXPECT_EQ(v.Numeric(), 2.5);
    v.SetXmlString("<a>\xc3\xa9</a>");
    EXPECT_TRUE(v.IsXmlString());
    EXPECT_STREQ(v.String(), L"");
    v.Reset();
    EXPECT_EQ(v.Value(), 2.5);

    // Assignment copies the number only from a numeric value.
    QMValue text;
    text.SetString(nullptr);
    v = text;
    EXPECT_TRUE(v.IsString());
    EXPECT_EQ(v.Numeric(), 2.5);
}

TEST(Value, CopiesOwnTheirPayload) {
    QMValue a;
    a.SetString(L"first");
    QMValue b(a);
    b.SetString(L"second");
    EXPECT_STREQ(a.String(), L"first");

    QMValueComplexFO fo;
    fo.AddValue(1.0, 0.0);
    a.SetComplex(fo);
    b = a;
    ASSERT_NE(b.Complex(), a.Complex());
    a.SetString(L"replaces the complex payload");
    EXPECT_EQ(static_cast<const QMValueComplexFO*>(b.Complex())->Value(0), 1.0);
}

TEST(Value, SetComplexRejectsUnknownKinds) {
    QMValue v;
    for (int kind : {0, 10}) {
        v.SetString(L"old");
        v.SetComplex(ForeignKind(kind));
        EXPECT_EQ(v.Type(), 0) << kind;
    }
}

TEST(Value, SelfAssignmentAndSelfFeedingKeepThePayload) {
    QMValue v;
    v.SetString(L"kept");
    const QMValue& same = v;
    v = same;
    v.SetString(v.String());
    EXPECT_STREQ(v.String(), L"kept");

    QMValueComplexImageBuffer image;
    image.SetImage("PNG");
    v.SetComplex(image);
    v = same;
    v.SetComplex(*v.Complex());
    ASSERT_EQ(v.Complex()->Type(), 6);
    EXPECT_EQ(static_cast<const QMValueComplexImageBuffer*>(v.Complex())->Image(), "PNG");
}
