#include <qmsupport/values/value_complex.h>

#include <cstddef>

namespace {

// Entry i of a list, or a value-initialised entry when i lies outside it.
template <class T>
const T& At(const std::vector<T>& list, int i) {
    static const T none{};
    return i >= 0 && static_cast<size_t>(i) < list.size() ? list[static_cast<size_t>(i)] : none;
}

template <class T>
int SizeOf(const std::vector<T>& list) {
    return static_cast<int>(list.size());
}

}  // namespace

QMValueComplex::~QMValueComplex() = default;

void QMValueComplex::Reset() {
    value_ = 0.0;
    flags_ = 0;
}

int QMValueComplex::Type() const {
    return 1;
}

std::unique_ptr<QMValueComplex> QMValueComplex::Clone() const {
    return std::make_unique<QMValueComplex>(*this);
}

void QMValueComplexFO::AddValue(double value, double msecond) {
    fields_.values.push_back(value);
    fields_.mseconds.push_back(msecond);
}

int QMValueComplexFO::Size() const {
    return SizeOf(fields_.values);
}
double QMValueComplexFO::Value(int i) const {
    return At(fields_.values, i);
}
double QMValueComplexFO::MSecond(int i) const {
    return At(fields_.mseconds, i);
}

void QMValueComplexARM::AddValue(double value, int harmonic) {
    fields_.values.push_back(value);
    fields_.harmonics.push_back(harmonic);
}

int QMValueComplexARM::Size() const {
    return SizeOf(fields_.values);
}
double QMValueComplexARM::Value(int i) const {
    return At(fields_.values, i);
}
int QMValueComplexARM::Harmonic(int i) const {
    return At(fields_.harmonics, i);
}

void QMValueComplexEVQ::AddSemicycleVoltage(const QMDateTime& date, double value) {
    fields_.semicycleDates.push_back(date);
    fields_.semicycleValues.push_back(value);
}

int QMValueComplexEVQ::SemicycleVoltageSize() const {
    return SizeOf(fields_.semicycleValues);
}

const QMDateTime& QMValueComplexEVQ::SemicycleVoltageDate(int i) const {
    return At(fields_.semicycleDates, i);
}

double QMValueComplexEVQ::SemicycleVoltageValue(int i) const {
    return At(fields_.semicycleValues, i);
}

void QMValueComplexInterval::SetBegin(const QMDateTime& date, unsigned long flags) {
    fields_.begin = date;
    fields_.beginFlags = static_cast<uint32_t>(flags);
}

void QMValueComplexInterval::SetEnd(const QMDateTime& date, unsigned long flags) {
    fields_.end = date;
    fields_.endFlags = static_cast<uint32_t>(flags);
}

bool QMValueComplexInterval::Interval(QMDateTimeSpan& span) const {
    if (!fields_.begin.Valid() || !fields_.end.Valid() || !(fields_.begin <= fields_.end)) {
        return false;
    }
    span = fields_.end - fields_.begin;
    return true;
}

void QMValueComplexImageBuffer::SetImage(const QMNarrowString& image) {
    // Copied before the reset, which would otherwise empty an image passed from this object.
    QMNarrowString copy(image);
    Reset();
    fields_.image = std::move(copy);
}

void QMValueComplexCLW::AddRecord(const qm::values::ClwRecord& record) {
    fields_.records.push_back(record);
}

int QMValueComplexCLW::Size() const {
    return SizeOf(fields_.records);
}

const qm::values::ClwRecord& QMValueComplexCLW::Record(int i) const {
    return At(fields_.records, i);
}

void QMValueComplexXFO::AddValue(double value, const QMDateTime& date) {
    fields_.values.push_back(value);
    fields_.dates.push_back(date);
}

int QMValueComplexXFO::Size() const {
    return SizeOf(fields_.values);
}
double QMValueComplexXFO::Value(int i) const {
    return At(fields_.values, i);
}
const QMDateTime& QMValueComplexXFO::Date(int i) const {
    return At(fields_.dates, i);
}
