#pragma once

// Helpers shared by the platform area's path code; not part of the public interface.

#include <qmsupport/toolsapi/codecs.h>

#include <string>
#include <string_view>

namespace qm::platform::detail {

inline bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}
inline bool IsSeparator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

// `path` with each separator made '/'.
std::string WithSlashes(std::string_view path);

// The case-folded code points of UTF-8 text, into `out`; each invalid byte becomes a code
// point of its own that no character folds to.
void FoldCase(std::string_view utf8, std::u32string& out);
inline std::u32string FoldCase(std::string_view utf8) {
    std::u32string out;
    FoldCase(utf8, out);
    return out;
}

// Whether two UTF-8 names are equal without regard to case.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// The entry of `directory` (a native path; empty means the current directory) whose name
// equals `name` without regard to case; the first such entry in byte order wins. Empty when
// there is none or the directory cannot be read.
std::string FindEntryIgnoringCase(const std::string& directory, std::string_view name);

}  // namespace qm::platform::detail
