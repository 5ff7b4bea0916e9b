#include <qmsupport/values/value.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <typeinfo>
#include <vector>

namespace {

const QMDateTime kMorning(2024, 3, 1, 8, 0, 0, 250);
const QMDateTime kNoon(2024, 3, 1, 12, 0, 0, 0);

// A filled object of one kind, and a check that an object of that kind still holds what the
// filling put in (false once it has been reset).
struct Kind {
    int code;
    std::unique_ptr<QMValueComplex> object;
    std::function<bool(const QMValueComplex&)> filled;
};

template <class T>
Kind Make(int code, std::function<void(T&)> fill, std::function<bool(const T&)> filled) {
    auto object = std::make_unique<T>();
    fill(*object);
    return {code, std::move(object), [filled](const QMValueComplex& c) {
                const T* typed = dynamic_cast<const T*>(&c);
                return typed && filled(*typed);
            }};
}

std::vector<Kind> AllKinds() {
    std::vector<Kind> kinds;
    kinds.push_back(Make<QMValueComplex>(
        1,
        [](auto& c) {
            c.SetValue(4.0);
            c.SetFlags(9);
        },
        [](const auto& c) { return c.Value() == 4.0 && c.Flags() == 9; }));
    kinds.push_back(Make<QMValueComplexFO>(
        2,
        [](auto& c) {
            c.AddValue(1.5, 20.0);
            c.AddValue(2.5, 40.0);
        },
        [](const auto& c) { return c.Size() == 2 && c.Value(1) == 2.5 && c.MSecond(0) == 20.0; }));
    kinds.push_back(Make<QMValueComplexARM>(
        3, [](auto& c) { c.AddValue(0.3, 5); },
        [](const auto& c) { return c.Size() == 1 && c.Harmonic(0) == 5; }));
    kinds.push_back(Make<QMValueComplexEVQ>(
        4,
        [](auto& c) {
            c.SetPhase(2);
            c.SetEndForced(true);
            c.AddSemicycleVoltage(kNoon, 198.0);
        },
        [](const auto& c) {
            return c.Phase() == 2 && c.EndForced() && c.SemicycleVoltageSize() == 1 &&
                   c.SemicycleVoltageDate(0) == kNoon && c.SemicycleVoltageValue(0) == 198.0;
        }));
    kinds.push_back(Make<QMValueComplexInterval>(
        5,
        [](auto& c) {
            c.SetBegin(kMorning, 1);
            c.SetEnd(kNoon, 2);
        },
        [](const auto& c) { return c.Begin() == kMorning && c.EndFlags() == 2; }));
    kinds.push_back(Make<QMValueComplexImageBuffer>(
        6, [](auto& c) { c.SetImage(QMNarrowString("GIF\0\x01", 5)); },
        [](const auto& c) { return c.Image().Length() == 5 && c.Image()[4] == '\x01'; }));
    qm::values::ClwRecord record;
    record.words[18] = 0xFFFFFFFFu;
    record.dates[1] = kNoon;
    kinds.push_back(Make<QMValueComplexCLW>(
        7, [record](auto& c) { c.AddRecord(record); },
        [](const auto& c) {
            return c.Size() == 1 && c.Record(0).words[18] == 0xFFFFFFFFu &&
                   c.Record(0).dates[1] == kNoon && !c.Record(0).dates[0].Valid();
        }));
    kinds.push_back(Make<QMValueComplexXFO>(
        8,
        [](auto& c) {
            c.SetDuration(0.2);
            c.AddValue(-3.0, kMorning);
        },
        [](const auto& c) { return c.Duration() == 0.2 && c.Date(0) == kMorning; }));
    kinds.push_back(Make<QMValueComplexXEVQ>(
        9,
        [](auto& c) {
            c.SetEndPhase(3);
            c.SetInterruptionThreshold(0.05);
        },
        [](const auto& c) { return c.EndPhase() == 3 && c.InterruptionThreshold() == 0.05; }));
    return kinds;
}

}  // namespace

TEST(ValueComplex, EveryKindIsCopiedWholeThroughBaseReferences) {
    for (const Kind& kind : AllKinds()) {
        const QMValueComplex& base = *kind.object;
        SCOPED_TRACE(kind.code);
        EXPECT_EQ(base.Type(), kind.code);

        auto source = std::make_unique<QMValue>();
        source->SetComplex(base);
        QMValue copy;
        copy = *source;
        source.reset();
        ASSERT_TRUE(copy.IsComplex());
        EXPECT_EQ(typeid(*copy.Complex()), typeid(base));
        EXPECT_TRUE(kind.filled(*copy.Complex()));

        std::unique_ptr<QMValueComplex> clone = base.Clone();
        clone->Reset();
        EXPECT_FALSE(kind.filled(*clone));
        EXPECT_EQ(clone->Type(), kind.code);
        EXPECT_TRUE(kind.filled(base));
    }
}

TEST(ValueComplex, DerivedCopiesDropTheBaseValueAndFlags) {
    QMValueComplexARM spectrum;
    spectrum.AddValue(1.0, 1);
    spectrum.SetValue(3.0);
    spectrum.SetFlags(7);
    QMValueComplexARM copy(spectrum);
    EXPECT_EQ(copy.Size(), 1);
    EXPECT_EQ(copy.Value(), 0.0);
    EXPECT_EQ(copy.Flags(), 0u);

    // Assignment resets the target first, so its earlier entries go.
    QMValueComplexARM target;
    target.AddValue(9.0, 9);
    target.AddValue(8.0, 8);
    target.SetFlags(1);
    target = spectrum;
    EXPECT_EQ(target.Size(), 1);
    EXPECT_EQ(target.Harmonic(0), 1);
    EXPECT_EQ(target.Flags(), 0u);

    // The plain base class copies its value and flags; self-assignment changes nothing.
    QMValueComplex plain;
    plain.SetValue(2.0);
    plain.SetFlags(0x1'0000'0003ul);
    EXPECT_EQ(QMValueComplex(plain).Flags(), 3u);
    const QMValueComplexARM& same = spectrum;
    spectrum = same;
    EXPECT_EQ(spectrum.Size(), 1);
    EXPECT_EQ(spectrum.Value(), 3.0);
}

TEST(ValueComplex, EventValueIsNotTheBaseValue) {
    QMValueComplexEVQ event;
    event.SetValue(5.0);
    EXPECT_EQ(event.Value(), 5.0);
    EXPECT_EQ(event.QMValueComplex::Value(), 0.0);
    event.QMValueComplex::SetValue(1.0);
    event.Reset();
    EXPECT_EQ(event.Value(), 0.0);
    EXPECT_EQ(event.QMValueComplex::Value(), 0.0);
}

TEST(ValueComplex, IntervalNeedsTwoValidOrderedDates) {
    QMValueComplexInterval interval;
    QMDateTimeSpan span(123);
    EXPECT_FALSE(interval.Interval(span));
    interval.SetBegin(kNoon, 0);
    EXPECT_FALSE(interval.Interval(span));
    interval.SetEnd(kMorning, 0);
    EXPECT_FALSE(interval.Interval(span));
    EXPECT_EQ(span.Milliseconds(), 123);
    interval.SetEnd(kNoon, 0);
    EXPECT_TRUE(interval.Interval(span));
    EXPECT_EQ(span.Milliseconds(), 0);
    interval.SetBegin(kMorning, 0);
    EXPECT_TRUE(interval.Interval(span));
    EXPECT_EQ(span.Milliseconds(), 4 * 3600 * 1000 - 250);
    interval.Reset();
    EXPECT_FALSE(interval.Begin().Valid());
    EXPECT_FALSE(interval.End().Valid());
}

TEST(ValueComplex, SetImageResetsFirstAndAcceptsItsOwnImage) {
    QMValueComplexImageBuffer buffer;
    buffer.SetImage("abc");
    buffer.SetFlags(3);
    buffer.SetValue(1.0);
    buffer.SetImage(buffer.Image());
    EXPECT_EQ(buffer.Image(), "abc");
    EXPECT_EQ(buffer.Flags(), 0u);
    EXPECT_EQ(buffer.Value(), 0.0);
}

TEST(ValueComplex, ReadsOutsideTheListsAreHarmless) {
    QMValueComplexXFO samples;
    samples.AddValue(1.0, kNoon);
    EXPECT_EQ(samples.Value(1), 0.0);
    EXPECT_EQ(samples.Value(-1), 0.0);
    EXPECT_FALSE(samples.Date(7).Valid());
    QMValueComplexEVQ event;
    EXPECT_EQ(event.SemicycleVoltageSize(), 0);
    EXPECT_FALSE(event.SemicycleVoltageDate(0).Valid());
    EXPECT_EQ(QMValueComplexCLW().Record(0).words[0], 0u);
}
