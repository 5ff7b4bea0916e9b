#include <qmsupport/values/value_complex.h>

#include <cstddef>

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

void QMValueComplexEVQ::AddSemicycleVoltage(const QMDateTime& date, double value) {
    fields_.semicycles.Add(value, date);
}

int QMValueComplexEVQ::SemicycleVoltageSize() const {
    return fields_.semicycles.Size();
}

const QMDateTime& QMValueComplexEVQ::SemicycleVoltageDate(int i) const {
    return fields_.semicycles.SecondAt(i);
}

double QMValueComplexEVQ::SemicycleVoltageValue(int i) const {
    return fields_.semicycles.Value(i);
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
    return static_cast<int>(fields_.records.size());
}

const qm::values::ClwRecord& QMValueComplexCLW::Record(int i) const {
    return qm::values::EntryAt(fields_.records, i);
}
