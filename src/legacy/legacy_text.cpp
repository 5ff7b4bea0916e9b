#include "legacy/legacy_text.h"

#include <qmsupport/toolsapi/numbers.h>

#include <cmath>
#include <cstdint>
#include <cwchar>
#include <limits>

namespace qm::legacy {

double Decimal(const QMWideString& text) {
    return ReadDecimal(text.view());
}

int32_t Hexadecimal(const QMWideString& text) {
    // The reader saturates at its own range, which lies beyond the 32-bit one on both sides.
    const long long value = ReadInteger(text.view(), 16);
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(value);
}

int32_t Truncate(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483647.0) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value <= -2147483648.0) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(value);
}

QMWideString Format2(double value) {
    QMWideString text;
    text.Format(L"%.2f", value);
    return text;
}

QMWideString Format3(double value) {
    QMWideString text;
    text.Format(L"%.3f", value);
    return text;
}

QMWideString FormatInteger(int32_t value) {
    QMWideString text;
    text.Format(L"%d", static_cast<int>(value));
    return text;
}

QMWideString FormatColour(uint32_t value) {
    QMWideString text;
    text.Format(L"%06X", static_cast<unsigned>(value));
    return text;
}

QMWideString Replaced(QMWideString text, wchar_t from, wchar_t to) {
    for (wchar_t& c : text.str()) {
        if (c == from) {
            c = to;
        }
    }
    return text;
}

QMWideString VariableInBrackets(const QMWideString& text) {
    std::wstring name = text.str();
    const size_t open = name.find(L'[');
    if (open != std::wstring::npos) {
        name.erase(0, open + 1);
    }
    const size_t close = name.find(L']');
    if (close != std::wstring::npos) {
        name.resize(close);
    }
    return QMWideString(std::move(name));
}

SplitPath::SplitPath(const QMWideString& path) {
    const std::wstring& text = path.str();
    const size_t slash = text.find_last_of(L"\\/");
    const size_t nameStart =
        slash == std::wstring::npos ? (text.size() >= 2 && text[1] == L':' ? 2 : 0) : slash + 1;
    size_t dot = text.rfind(L'.');
    if (dot == std::wstring::npos || dot < nameStart) {
        dot = text.size();
    }
    directory = QMWideString(text.substr(0, nameStart));
    name = QMWideString(text.substr(nameStart, dot - nameStart));
    extension = QMWideString(text.substr(dot));
}

}  // namespace qm::legacy
