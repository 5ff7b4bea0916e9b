#pragma once

// Reading and writing the texts of screen, report and style documents, shared by the legacy
// conversions and the 2.5 migrations. Numbers are read as the Windows runtime reads them,
// without undefined behaviour on any text.

#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/xml/xml_document.h>

#include <cstdint>
#include <string>

namespace qm::legacy {

// A decimal number as wcstod reads it: leading blanks, then as much of a number as there is;
// no number reads as 0.
double Decimal(const QMWideString& text);
// Hexadecimal as wcstol reads it with base 16 and a 32-bit long: leading blanks, a sign, an
// optional "0x"; a value beyond the range is clamped, so "FFFFFFFF" gives 0x7FFFFFFF.
int32_t Hexadecimal(const QMWideString& text);
// A double truncated toward zero into a 32-bit integer, clamped at the range (NaN gives 0).
int32_t Truncate(double value);

QMWideString Format2(double value);         // "%.2f"
QMWideString Format3(double value);         // "%.3f"
QMWideString FormatInteger(int32_t value);  // "%d"
QMWideString FormatColour(uint32_t value);  // "%06X"

// Boolean keys are "T" and "F".
inline bool Flag(const QMWideString& text) {
    return text == L"T";
}
inline const wchar_t* FlagText(bool value) {
    return value ? L"T" : L"F";
}

// Every `from` in `text` replaced by `to`.
QMWideString Replaced(QMWideString text, wchar_t from, wchar_t to);
// A variable reference cut to its name: the part after the first "[" when there is one, then
// the part before the first "]" when there is one.
QMWideString VariableInBrackets(const QMWideString& text);

// The element children of `node` in document order (keys are skipped).
template <typename Visit>
void ForEachElement(const XmlDocument::XmlNode* node, Visit visit) {
    if (node == nullptr) {
        return;
    }
    for (auto it = node->ChildsBegin(); it != node->ChildsEnd(); ++it) {
        if (!(*it)->IsKey()) {
            visit(*it);
        }
    }
}

// A path cut into directory (with its drive and final separator), base name and extension,
// as _wsplitpath cuts it; "\" and "/" both separate.
struct SplitPath {
    QMWideString directory;
    QMWideString name;
    QMWideString extension;

    explicit SplitPath(const QMWideString& path);
};

}  // namespace qm::legacy
