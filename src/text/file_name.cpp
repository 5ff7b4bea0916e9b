#include <qmsupport/text/file_name.h>

void JoinFileName(const QMBasicString<wchar_t, QMWideChar>& first,
                  const QMBasicString<wchar_t, QMWideChar>& second,
                  QMBasicString<wchar_t, QMWideChar>& result) {
    QMWideString joined(first);
    joined += L'.';
    joined += second;
    result = joined;  // `result` may be one of the arguments
}

void SplitFileName(const QMBasicString<wchar_t, QMWideChar>& whole,
                   QMBasicString<wchar_t, QMWideChar>& first,
                   QMBasicString<wchar_t, QMWideChar>& second) {
    const std::wstring text = whole.str();  // `whole` may be one of the outputs
    const size_t dot = text.rfind(L'.');
    if (dot == std::wstring::npos) {
        first.Clear();
        second = QMWideString(text);
        return;
    }
    first = QMWideString(text.substr(0, dot));
    second = QMWideString(text.substr(dot + 1));
}
