#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <string_view>
#include <type_traits>

// Character traits of the two string instantiations: the length of a NUL-terminated text,
// comparisons (0 when equal) and the shared empty text.
struct QMWideChar {
    using CharType = wchar_t;
    static size_t Length(const wchar_t* text) { return text ? std::wcslen(text) : 0; }
    static int Compare(const wchar_t* a, const wchar_t* b) { return std::wcscmp(a, b); }
    static int Compare(const wchar_t* a, const wchar_t* b, size_t count) {
        return std::wcsncmp(a, b, count);
    }
    static const wchar_t* EmptyString() { return L""; }
};

struct QMChar {
    using CharType = char;
    static size_t Length(const char* text) { return text ? std::strlen(text) : 0; }
    static int Compare(const char* a, const char* b) { return std::strcmp(a, b); }
    static int Compare(const char* a, const char* b, size_t count) {
        return std::strncmp(a, b, count);
    }
    static const char* EmptyString() { return ""; }
};

namespace qm::detail {
// printf-style formatting into a growing string; never truncates.
__attribute__((format(printf, 2, 0))) inline void AppendVFormat(std::string& out, const char* fmt,
                                                                va_list args) {
    char stack[256];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(stack, sizeof stack, fmt, copy);
    va_end(copy);
    if (n < 0) {
        return;
    }
    if (static_cast<size_t>(n) < sizeof stack) {
        out.append(stack, static_cast<size_t>(n));
        return;
    }
    size_t old = out.size();
    out.resize(old + static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data() + old, static_cast<size_t>(n) + 1, fmt, args);
    out.resize(old + static_cast<size_t>(n));
}

// vswprintf cannot tell a short buffer from an encoding error, so the text is written to a
// growing memory stream instead: it never truncates, and a format that cannot be written
// (an argument that is not valid in the locale's encoding) appends nothing.
inline void AppendVFormat(std::wstring& out, const wchar_t* fmt, va_list args) {
    wchar_t* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_wmemstream(&buffer, &size);
    if (stream == nullptr) {
        return;
    }
    va_list copy;
    va_copy(copy, args);
    int n = std::vfwprintf(stream, fmt, copy);
    va_end(copy);
    std::fclose(stream);
    if (n >= 0 && buffer != nullptr) {
        out.append(buffer, size);
    }
    std::free(buffer);
}
}  // namespace qm::detail

// The body that the printf-style members share: variable arguments cannot be handed on to a
// shared function, so each member starts its own list here and appends it.
#define QMSUPPORT_APPEND_FORMAT(fmt)          \
    va_list args;                             \
    va_start(args, fmt);                      \
    qm::detail::AppendVFormat(s_, fmt, args); \
    va_end(args)

// A value-type string over std::basic_string. Narrow strings that carry XML text hold UTF-8;
// wide strings hold UTF-32 (wchar_t).
template <class CharT, class Traits>
class QMBasicString {
  public:
    using StdString = std::basic_string<CharT>;
    static constexpr bool kNarrow = std::is_same_v<CharT, char>;

    QMBasicString() = default;
    QMBasicString(const CharT* text) : s_(text ? text : Traits::EmptyString()) {}
    QMBasicString(const CharT* text, size_t length)
        : s_(text ? StdString(text, length) : StdString()) {}
    QMBasicString(StdString text) : s_(std::move(text)) {}
    QMBasicString(std::basic_string_view<CharT> text) : s_(text) {}

    const CharT* c_str() const { return s_.c_str(); }
    operator const CharT*() const { return s_.c_str(); }
    size_t Length() const { return s_.size(); }
    bool IsEmpty() const { return s_.empty(); }

    CharT operator[](size_t i) const { return s_[i]; }
    CharT& operator[](size_t i) { return s_[i]; }
    CharT operator[](int i) const { return s_[static_cast<size_t>(i)]; }
    CharT& operator[](int i) { return s_[static_cast<size_t>(i)]; }

    QMBasicString& Append(const CharT* text) {
        if (text) {
            s_.append(text);
        }
        return *this;
    }
    QMBasicString& Append(const CharT* text, size_t length) {
        if (text) {
            s_.append(text, length);
        }
        return *this;
    }
    QMBasicString& Append(const QMBasicString& other) {
        s_.append(other.s_);
        return *this;
    }
    QMBasicString& Append(CharT c) {
        s_.push_back(c);
        return *this;
    }
    QMBasicString& operator+=(const CharT* text) { return Append(text); }
    QMBasicString& operator+=(const QMBasicString& other) { return Append(other); }
    QMBasicString& operator+=(CharT c) { return Append(c); }

    void Clear() { s_.clear(); }

    // printf-style formatting; the compiler checks the narrow formats against their arguments.
    // The narrow and the wide members differ only in the format attribute, which a wide format
    // cannot carry.
    __attribute__((format(printf, 2, 3))) void Format(const char* fmt, ...) requires kNarrow {
        s_.clear();
        QMSUPPORT_APPEND_FORMAT(fmt);
    }
    void Format(const wchar_t* fmt, ...) requires(!kNarrow) {
        s_.clear();
        QMSUPPORT_APPEND_FORMAT(fmt);
    }
    __attribute__((format(printf, 2, 3))) void AppendFormat(const char* fmt, ...) requires kNarrow {
        QMSUPPORT_APPEND_FORMAT(fmt);
    }
    void AppendFormat(const wchar_t* fmt, ...) requires(!kNarrow) { QMSUPPORT_APPEND_FORMAT(fmt); }
    __attribute__((format(printf, 2, 0))) void FormatV(const char* fmt,
                                                       va_list args) requires kNarrow {
        s_.clear();
        qm::detail::AppendVFormat(s_, fmt, args);
    }
    void FormatV(const wchar_t* fmt, va_list args) requires(!kNarrow) {
        s_.clear();
        qm::detail::AppendVFormat(s_, fmt, args);
    }

    // The underlying standard string, for algorithms that work on it directly.
    const StdString& str() const { return s_; }
    StdString& str() { return s_; }
    std::basic_string_view<CharT> view() const { return s_; }

    friend QMBasicString operator+(const QMBasicString& a, const QMBasicString& b) {
        return QMBasicString(a.s_ + b.s_);
    }
    friend QMBasicString operator+(const QMBasicString& a, const CharT* b) {
        QMBasicString r(a);
        r.Append(b);
        return r;
    }
    friend QMBasicString operator+(const CharT* a, const QMBasicString& b) {
        QMBasicString r(a);
        r.Append(b);
        return r;
    }
    friend bool operator==(const QMBasicString& a, const QMBasicString& b) { return a.s_ == b.s_; }
    friend bool operator==(const QMBasicString& a, const CharT* b) {
        return Traits::Compare(a.c_str(), b ? b : Traits::EmptyString()) == 0;
    }
    friend bool operator!=(const QMBasicString& a, const QMBasicString& b) { return !(a == b); }
    friend bool operator!=(const QMBasicString& a, const CharT* b) { return !(a == b); }
    friend bool operator<(const QMBasicString& a, const QMBasicString& b) { return a.s_ < b.s_; }

  private:
    StdString s_;
};

#undef QMSUPPORT_APPEND_FORMAT

using QMWideString = QMBasicString<wchar_t, QMWideChar>;
using QMNarrowString = QMBasicString<char, QMChar>;
