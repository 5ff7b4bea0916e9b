#include <qmsupport/values/value.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <typeinfo>
#include <vector>

namespace {

const QMDateTime kMorning(2024, 3, 1, 8, 0, 0, 250);
const QMDateTime kNoon(2024, 3, 1, 12, 0, 0, 0);

// One filled object of a kind, and a check that an object still holds what was filled in.
struct Kind {
    std::unique_ptr<QMValueComplex> object;
    std::function<bool(const QMValueComplex&)> filled;
};

template <class T>
Kind Make(std::function<void(T&)> fill, std::function<bool(const T&)> filled) {
    auto object = std::make_unique<T>();
    fill(*object);
    return {std::move(object), [filled](const QMValueComplex& c) {
                const T* typed = dynamic_cast<const T*>(&c);
                return typed && filled(*typed);
            }};
}

// The nine kinds, in the order of their codes 1..9.
std::vector<Kind> AllKinds() {
    qm::values::ClwRecord record;
    record.words[18] = 0xFFFFFFFFu;
    record.dates[1] = kNoon;
    std::vector<Kind> kinds;
    kinds.push_back(Make<QMValueComplex>([](auto& c) { c.SetFlags(9); },
                                         [](const auto& c) { return c.Flags() == 9; }));
    kinds.push_back(Make<QMValueComplexFO>([](auto& c) { c.AddValue(1.5, 20.0); },
                                           [](const auto& c) { return c.MSecond(0) == 20.0; }));
    kinds.push_back(Make<QMValueComplexARM>([](auto& c) { c.AddValue(0.3, 5); },
                                            [](const auto& c) { return c.Harmonic(0) == 5; }));
    kinds.push_back(
        Make<QMValueComplexEVQ>([](auto& c) { c.AddSemicycleVoltage(kNoon, 198.0); },
                                [](const auto& c) { return c.SemicycleVoltageDate(0) == kNoon; }));
    kinds.push_back(Make<QMValueComplexInterval>([](auto& c) { c.SetEnd(kNoon, 2); },
                                                 [](const auto& c) { return c.EndFlags() == 2; }));
    kinds.push_back(
        Make<QMValueComplexImageBuffer>([](auto& c) { c.SetImage(QMNarrowString("GIF\0\x01", 5)); },
                                        [](const auto& c) { return c.Image().Length() == 5; }));
    kinds.push_back(Make<QMValueComplexCLW>([record](auto& c) { c.AddRecord(record); },
                                            [](const auto& c) {
                                                return c.Record(0).words[18] == 0xFFFFFFFFu &&
                                                       c.Record(0).dates[1] == kNoon;
                                            }));
    kinds.push_back(Make<QMValueComplexXFO>([](auto& c) { c.AddValue(-3.0, kMorning); },
                                            [](const auto& c) { return c.Date(0) == kMorning; }));
    kinds.push_back(
        Make<QMValueComplexXEVQ>([](auto& c) { c.SetInterruptionThreshold(0.05); },
                                 [](const auto& c) { return c.InterruptionThreshold() == 0.05; }));
    return kinds;
}

}  // namespace

TEST(ValueComplex, EveryKindIsCopiedWholeThroughBaseReferences) {
    std::vector<Kind> kinds = AllKinds();
    for (size_t i = 0; i < kinds.size(); ++i) {
        const QMValueComplex& base = *kinds[i].object;
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(base.Type(), static_cast<int>(i + 1));

        auto source = std::make_unique<QMValue>();
        source->SetComplex(base);
        QMValue copy;
        copy = *source;
        source.reset();
        ASSERT_TRUE(copy.IsComplex());
        EXPECT_EQ(typeid(*copy.Complex()), typeid(base));
        EXPECT_TRUE(kinds[i].filled(*copy.Complex()));

        std::unique_ptr<QMValueComplex> clone = base.Clone();
        clone->Reset();
        EXPECT_FALSE(kinds[i].filled(*clone));
        EXPECT_TRUE(kinds[i].filled(base));
    }
}

TEST(ValueComplex, DerivedCopiesDropTheBaseValueAndFlags) {
    QMValueComplexARM spectrum;
    spectrum.AddValue(1.0, 1);
    spectrum.SetValue(3.0);
    spectrum.SetFlags(7);
    EXPECT_EQ(QMValueComplexARM(spectrum).Flags(), 0u);

    // Assignment resets the target first: its entries and its flags go.
    QMValueComplexARM target;
    target.AddValue(9.0, 9);
    target.AddValue(8.0, 8);
    target.SetFlags(1);
    target = spectrum;
    EXPECT_EQ(target.Size(), 1);
    EXPECT_EQ(target.Harmonic(0), 1);
    EXPECT_EQ(target.Flags(), 0u);

    // The base class copies its value and its 32-bit flags; self-assignment changes nothing.
    QMValueComplex plain;
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
}

TEST(ValueComplex, IntervalNeedsTwoValidOrderedDates) {
    QMValueComplexInterval interval;
    QMDateTimeSpan span(123);
    EXPECT_FALSE(interval.Interval(span));
    interval.SetBegin(kNoon, 0);
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
}

TEST(ValueComplex, SetImageResetsFirstAndAcceptsItsOwnImage) {
    QMValueComplexImageBuffer buffer;
    buffer.SetImage("abc");
    buffer.SetFlags(3);
    buffer.SetImage(buffer.Image());
    EXPECT_EQ(buffer.Image(), "abc");
    EXPECT_EQ(buffer.Flags(), 0u);
}

TEST(ValueComplex, ReadsOutsideTheListsAreHarmless) {
    QMValueComplexXFO samples;
    samples.AddValue(1.0, kNoon);
    EXPECT_EQ(samples.Value(1), 0.0);
    EXPECT_EQ(samples.Value(-1), 0.0);
    EXPECT_FALSE(samples.Date(7).Valid());
    EXPECT_EQ(QMValueComplexCLW().Record(0).words[0], 0u);
    EXPECT_EQ(QMValueComplexFO().MSecond(0), 0.0);
}
