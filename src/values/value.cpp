#include <qmsupport/values/value.h>

constinit const QMValue QMValue::nullValue;

QMValue::QMValue(const QMValue& other) : QMValue() {
    *this = other;
}

// The setters copy their argument before they drop the old payload, so assigning a value to
// itself leaves it as it was.
const QMValue& QMValue::operator=(const QMValue& other) {
    switch (other.Type()) {
        case qm::kValueNumeric:
            SetNumeric(other.numeric_);
            break;
        case qm::kValueString:
            SetString(other.String());
            break;
        case qm::kValueComplex:
            SetComplex(*other.Complex());
            break;
        case qm::kValueXmlString:
            SetXmlString(other.XmlString());
            break;
        default:
            Reset();
            break;
    }
    return *this;
}

QMValue::~QMValue() = default;

unsigned char QMValue::Type() const {
    static constexpr unsigned char kCodes[] = {qm::kValueEmpty, qm::kValueNumeric, qm::kValueString,
                                               qm::kValueComplex, qm::kValueXmlString};
    return kCodes[payload_.index()];
}

const wchar_t* QMValue::String() const {
    const auto* text = std::get_if<QMWideString>(&payload_);
    return text ? text->c_str() : L"";
}

const char* QMValue::XmlString() const {
    const auto* text = std::get_if<QMNarrowString>(&payload_);
    return text ? text->c_str() : "";
}

const QMValueComplex* QMValue::Complex() const {
    const auto* complex = std::get_if<std::unique_ptr<QMValueComplex>>(&payload_);
    return complex ? complex->get() : nullptr;
}

void QMValue::Reset() {
    payload_ = std::monostate();
}

void QMValue::SetNumeric(double value) {
    payload_ = Number();
    numeric_ = value;
}

// Each setter builds the new payload before the old one goes, so a text or complex value
// taken from this very value is copied before it is freed.
void QMValue::SetString(const wchar_t* text) {
    payload_ = QMWideString(text);
}

void QMValue::SetXmlString(const char* text) {
    payload_ = QMNarrowString(text);
}

void QMValue::SetComplex(const QMValueComplex& source) {
    const int kind = source.Type();
    std::unique_ptr<QMValueComplex> copy;
    if (kind >= 1 && kind <= 9) {
        copy = source.Clone();
    }
    if (copy) {
        payload_ = std::move(copy);
    } else {
        Reset();
    }
}
