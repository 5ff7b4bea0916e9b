#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/values/value_complex.h>

#include <memory>
#include <variant>

namespace qm {

// The kinds of a QMValue, by the codes that QMValue::Type() returns.
enum ValueType : unsigned char {
    kValueEmpty = 0,
    kValueNumeric = 2,
    kValueString = 3,
    kValueComplex = 5,
    kValueXmlString = 6,
};

}  // namespace qm

// The value of a variable as the suite's components pass it around: empty, a number, a wide
// text, an XML text in UTF-8 or a complex measurement. Type() gives the kind (qm::ValueType).
// The value owns its payload, and a copy copies it deeply. The number survives changes of
// kind: Numeric() returns the last number stored by SetNumeric, whatever the kind.
class QMSUPPORT_API QMValue {
  public:
    // A shared empty value, for functions that return a reference to "no value".
    static const QMValue nullValue;

    QMValue() = default;
    QMValue(const QMValue& other);
    // Assignment gives this value the kind and a deep copy of the payload of other. The
    // number is copied only from a numeric value. Assigning a value to itself changes nothing.
    const QMValue& operator=(const QMValue& other);
    virtual ~QMValue();

    unsigned char Type() const;
    bool IsNumeric() const { return Type() == qm::kValueNumeric; }
    bool IsString() const { return Type() == qm::kValueString; }
    bool IsComplex() const { return Type() == qm::kValueComplex; }
    bool IsXmlString() const { return Type() == qm::kValueXmlString; }

    double Numeric() const { return numeric_; }
    double Value() const { return numeric_; }
    // The text of a string value, else an empty text; never null.
    const wchar_t* String() const;
    // The UTF-8 text of an XML string value, else an empty text; never null.
    const char* XmlString() const;
    // The complex payload of a complex value, else null. Its Type() tells its class.
    const QMValueComplex* Complex() const;

    // Pointers returned by String(), XmlString() and Complex() stay valid until the value is
    // next modified, reset or destroyed.
    void Reset();
    void SetNumeric(double value);
    // A null text is stored as an empty text.
    void SetString(const wchar_t* text);
    void SetXmlString(const char* text);
    // Stores a copy of source made by its dynamic class. A source whose Type() is not one
    // of the nine complex kinds (1..9) leaves the value empty.
    void SetComplex(const QMValueComplex& source);

  private:
    struct Number {};
    // The alternatives in the order of their kinds: empty, numeric, string, complex, XML string.
    std::variant<std::monostate, Number, QMWideString, std::unique_ptr<QMValueComplex>,
                 QMNarrowString>
        payload_;
    double numeric_ = 0.0;
};
