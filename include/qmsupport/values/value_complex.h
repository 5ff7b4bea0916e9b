#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/toolsapi/date_time.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A measurement that is more than one number. The base class carries a value and a flag
// word; the derived classes add their own fields. Type() tells the kinds apart:
//   1 QMValueComplex             plain value with flags
//   2 QMValueComplexFO           oscillogram: samples with time offsets in milliseconds
//   3 QMValueComplexARM          harmonic spectrum: values with their harmonic orders
//   4 QMValueComplexEVQ          power-quality event with its semicycle voltage record
//   5 QMValueComplexInterval     time interval with flags at each end
//   6 QMValueComplexImageBuffer  an image held as a narrow byte string
//   7 QMValueComplexCLW          list of records
//   8 QMValueComplexXFO          oscillogram with timestamps, waveform semicycles, duration
//   9 QMValueComplexXEVQ         power-quality event with nominal values and thresholds
//
// Indexed reads take 0 <= i < Size(); an index outside the list reads as 0 (or an invalid
// date, or an all-zero record) instead of touching memory outside it.
class QMSUPPORT_API QMValueComplex {
  public:
    QMValueComplex() = default;
    QMValueComplex(const QMValueComplex& other) = default;
    QMValueComplex& operator=(const QMValueComplex& other) = default;
    virtual ~QMValueComplex();

    virtual void Reset();
    virtual int Type() const;
    // A heap copy of the whole object, made by its dynamic class.
    virtual std::unique_ptr<QMValueComplex> Clone() const;

    double Value() const { return value_; }
    void SetValue(double value) { value_ = value; }
    unsigned long Flags() const { return flags_; }
    // The flag word is 32 bits wide; higher bits are dropped.
    void SetFlags(unsigned long flags) { flags_ = static_cast<uint32_t>(flags); }

  private:
    double value_ = 0.0;
    uint32_t flags_ = 0;
};

namespace qm::values {

// One entry of a QMValueComplexCLW: nineteen 32-bit words and two dates.
struct ClwRecord {
    std::array<uint32_t, 19> words{};
    std::array<QMDateTime, 2> dates;
};

// The own fields of each derived kind. A value-initialised set is the kind's reset state.

// Entry i of a list, or a value-initialised entry when i lies outside it.
template <class T>
const T& EntryAt(const std::vector<T>& list, int i) {
    static const T none{};
    return i >= 0 && static_cast<size_t>(i) < list.size() ? list[static_cast<size_t>(i)] : none;
}

// Values, each with a second quantity of its own, index-aligned.
template <class Second>
struct SampleFields {
    std::vector<double> values;
    std::vector<Second> seconds;

    void Add(double value, const Second& second) {
        values.push_back(value);
        seconds.push_back(second);
    }
    int Size() const { return static_cast<int>(values.size()); }
    double Value(int i) const { return EntryAt(values, i); }
    const Second& SecondAt(int i) const { return EntryAt(seconds, i); }
};

struct EVQFields {
    double value = 0.0;
    int32_t phase = 0;
    double duration = 0.0;
    double averageValue = 0.0;
    double previousValue = 0.0;
    int32_t eventType = 0;
    bool endForced = false;
    SampleFields<QMDateTime> semicycles;  // voltages with their dates
};

struct IntervalFields {
    QMDateTime begin;  // invalid until set
    QMDateTime end;
    uint32_t beginFlags = 0;
    uint32_t endFlags = 0;
};

struct ImageBufferFields {
    QMNarrowString image;
};

struct CLWFields {
    std::vector<ClwRecord> records;
};

struct XFOFields : SampleFields<QMDateTime> {  // the samples' dates
    double waveformSemicycles = 0.0;
    double duration = 0.0;
};

struct XEVQFields {
    uint8_t beginPhase = 0;
    uint8_t endPhase = 0;
    uint8_t eventType = 0;
    double duration = 0.0;
    uint8_t endForced = 0;
    double hzNominal = 0.0;
    double vNominal = 0.0;
    double vNominalL1 = 0.0;
    double vNominalL2 = 0.0;
    double vNominalL3 = 0.0;
    double aNominal = 0.0;
    double pNominal = 0.0;
    double overvoltageThreshold = 0.0;
    double sagThreshold = 0.0;
    double interruptionThreshold = 0.0;
};

// The behaviour every derived kind shares. Reset() clears the base value and flags and the
// kind's own fields. Copy assignment runs the target's virtual Reset() and then copies the
// source's own fields only, so the base value and flags of a copy are 0; the copy
// constructor gives the same result. Clone() copies by the dynamic class.
template <class Derived, int Code, class Fields>
class QMSUPPORT_API ComplexKind : public QMValueComplex {
  public:
    ComplexKind() = default;
    ComplexKind(const ComplexKind& other) : QMValueComplex(), fields_(other.fields_) {}
    ComplexKind& operator=(const ComplexKind& other) {
        if (this != &other) {
            Reset();
            fields_ = other.fields_;
        }
        return *this;
    }

    void Reset() override {
        QMValueComplex::Reset();
        fields_ = Fields();
    }
    int Type() const override { return Code; }
    std::unique_ptr<QMValueComplex> Clone() const override {
        return std::make_unique<Derived>(static_cast<const Derived&>(*this));
    }

  protected:
    Fields fields_;
};

// A kind that is a list of values with a second quantity each, in Fields (SampleFields or
// a class derived from it).
template <class Derived, int Code, class SecondType, class Fields = SampleFields<SecondType>>
class QMSUPPORT_API SampledKind : public ComplexKind<Derived, Code, Fields> {
  public:
    using QMValueComplex::Value;  // the base value, next to the indexed read
    void AddValue(double value, const SecondType& second) { this->fields_.Add(value, second); }
    int Size() const { return this->fields_.Size(); }
    double Value(int i) const { return this->fields_.Value(i); }

  protected:
    const SecondType& Second(int i) const { return this->fields_.SecondAt(i); }
};

}  // namespace qm::values

class QMSUPPORT_API QMValueComplexFO : public qm::values::SampledKind<QMValueComplexFO, 2, double> {
  public:
    double MSecond(int i) const { return Second(i); }
};

class QMSUPPORT_API QMValueComplexARM
    : public qm::values::SampledKind<QMValueComplexARM, 3, int32_t> {
  public:
    int Harmonic(int i) const { return Second(i); }
};

// SetValue and Value of this class address the event value; the base value stays reachable
// as QMValueComplex::Value().
class QMSUPPORT_API QMValueComplexEVQ
    : public qm::values::ComplexKind<QMValueComplexEVQ, 4, qm::values::EVQFields> {
  public:
    void SetValue(double value) { fields_.value = value; }
    double Value() const { return fields_.value; }
    void SetPhase(int phase) { fields_.phase = phase; }
    int Phase() const { return fields_.phase; }
    void SetDuration(double duration) { fields_.duration = duration; }
    double Duration() const { return fields_.duration; }
    void SetAverageValue(double value) { fields_.averageValue = value; }
    double AverageValue() const { return fields_.averageValue; }
    void SetPreviousValue(double value) { fields_.previousValue = value; }
    double PreviousValue() const { return fields_.previousValue; }
    void SetEventType(int type) { fields_.eventType = type; }
    int EventType() const { return fields_.eventType; }
    void SetEndForced(bool forced) { fields_.endForced = forced; }
    bool EndForced() const { return fields_.endForced; }

    void AddSemicycleVoltage(const QMDateTime& date, double value);
    int SemicycleVoltageSize() const;
    const QMDateTime& SemicycleVoltageDate(int i) const;
    double SemicycleVoltageValue(int i) const;
};

class QMSUPPORT_API QMValueComplexInterval
    : public qm::values::ComplexKind<QMValueComplexInterval, 5, qm::values::IntervalFields> {
  public:
    void SetBegin(const QMDateTime& date, unsigned long flags);
    void SetEnd(const QMDateTime& date, unsigned long flags);
    const QMDateTime& Begin() const { return fields_.begin; }
    unsigned long BeginFlags() const { return fields_.beginFlags; }
    const QMDateTime& End() const { return fields_.end; }
    unsigned long EndFlags() const { return fields_.endFlags; }
    // end - begin when both dates are valid and begin <= end; otherwise false, and span is
    // left as it was.
    bool Interval(QMDateTimeSpan& span) const;
};

class QMSUPPORT_API QMValueComplexImageBuffer
    : public qm::values::ComplexKind<QMValueComplexImageBuffer, 6, qm::values::ImageBufferFields> {
  public:
    // Resets the whole object (value and flags become 0), then stores a copy of the image.
    void SetImage(const QMNarrowString& image);
    const QMNarrowString& Image() const { return fields_.image; }
};

class QMSUPPORT_API QMValueComplexCLW
    : public qm::values::ComplexKind<QMValueComplexCLW, 7, qm::values::CLWFields> {
  public:
    void AddRecord(const qm::values::ClwRecord& record);
    int Size() const;
    const qm::values::ClwRecord& Record(int i) const;
};

class QMSUPPORT_API QMValueComplexXFO
    : public qm::values::SampledKind<QMValueComplexXFO, 8, QMDateTime, qm::values::XFOFields> {
  public:
    void SetWaveformSemicycles(double semicycles) { fields_.waveformSemicycles = semicycles; }
    double WaveformSemicycles() const { return fields_.waveformSemicycles; }
    void SetDuration(double duration) { fields_.duration = duration; }
    double Duration() const { return fields_.duration; }
    const QMDateTime& Date(int i) const { return Second(i); }
};

class QMSUPPORT_API QMValueComplexXEVQ
    : public qm::values::ComplexKind<QMValueComplexXEVQ, 9, qm::values::XEVQFields> {
  public:
    void SetBeginPhase(unsigned char phase) { fields_.beginPhase = phase; }
    unsigned char BeginPhase() const { return fields_.beginPhase; }
    void SetEndPhase(unsigned char phase) { fields_.endPhase = phase; }
    unsigned char EndPhase() const { return fields_.endPhase; }
    void SetEventType(unsigned char type) { fields_.eventType = type; }
    unsigned char EventType() const { return fields_.eventType; }
    void SetDuration(double duration) { fields_.duration = duration; }
    double Duration() const { return fields_.duration; }
    void SetEndForced(unsigned char forced) { fields_.endForced = forced; }
    unsigned char EndForced() const { return fields_.endForced; }
    void SetHzNominal(double v) { fields_.hzNominal = v; }
    double HzNominal() const { return fields_.hzNominal; }
    void SetVNominal(double v) { fields_.vNominal = v; }
    double VNominal() const { return fields_.vNominal; }
    void SetVNominalL1(double v) { fields_.vNominalL1 = v; }
    double VNominalL1() const { return fields_.vNominalL1; }
    void SetVNominalL2(double v) { fields_.vNominalL2 = v; }
    double VNominalL2() const { return fields_.vNominalL2; }
    void SetVNominalL3(double v) { fields_.vNominalL3 = v; }
    double VNominalL3() const { return fields_.vNominalL3; }
    void SetANominal(double v) { fields_.aNominal = v; }
    double ANominal() const { return fields_.aNominal; }
    void SetPNominal(double v) { fields_.pNominal = v; }
    double PNominal() const { return fields_.pNominal; }
    void SetOvervoltageThreshold(double v) { fields_.overvoltageThreshold = v; }
    double OvervoltageThreshold() const { return fields_.overvoltageThreshold; }
    void SetSagThreshold(double v) { fields_.sagThreshold = v; }
    double SagThreshold() const { return fields_.sagThreshold; }
    void SetInterruptionThreshold(double v) { fields_.interruptionThreshold = v; }
    double InterruptionThreshold() const { return fields_.interruptionThreshold; }
};
