#include <qmsupport/platform/native_path.h>

#include "platform/path_rules.h"
#include "toolsapi/no_throw.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <new>

namespace qm::platform {
namespace detail {

void FoldCase(std::string_view utf8, std::u32string& out) {
    out.clear();
    out.reserve(utf8.size());
    const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    int32_t i = 0;
    while (i < length) {
        int32_t start = i;
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) {
            // Each stray byte stays distinct from every character and from other bytes, so
            // that two different malformed names never compare equal.
            i = start + 1;
            out += static_cast<char32_t>(0xDC00 + s[start]);
            continue;
        }
        out += static_cast<char32_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT));
    }
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    // Runs of ASCII compare directly; a non-ASCII character may fold to an ASCII one (the
    // Kelvin sign to "k"), so the rest of the names is folded in full from there on.
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x >= 0x80 || y >= 0x80) {
            return FoldCase(a.substr(i)) == FoldCase(b.substr(i));
        }
        if (lower(x) != lower(y)) {
            return false;
        }
    }
    return a.size() == b.size();
}

std::string FindEntryIgnoringCase(const std::string& directory, std::string_view name) {
    std::string best;
    DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
    if (!dir) {
        return best;
    }
    while (const dirent* entry = readdir(dir)) {
        std::string_view candidate(entry->d_name);
        if (candidate == "." || candidate == "..") {
            continue;
        }
        if (!EqualIgnoringCase(candidate, name)) {
            continue;
        }
        if (best.empty() || candidate < best) {
            best = candidate;
        }
    }
    closedir(dir);
    return best;
}

std::string WithSlashes(std::string_view path) {
    std::string out(path);
    for (char& c : out) {
        c = IsSeparator(c) ? '/' : c;
    }
    return out;
}

}  // namespace detail

std::string NativePath(const std::string& utf8Path) noexcept {
    return qm::detail::NoThrow(std::string(), [&] {
        std::string out = detail::WithSlashes(utf8Path);
        struct stat st;
        if (out.empty() || lstat(out.c_str(), &st) == 0) {
            return out;  // the usual case: the path exists exactly as given
        }

        // Walk the components; `resolved` ends in a separator (or is empty) before each one.
        std::string resolved;
        bool missing = false;  // below a missing component nothing can be found
        size_t i = 0;
        while (i < out.size()) {
            if (out[i] == '/') {
                resolved += '/';
                ++i;
                continue;
            }
            size_t end = out.find('/', i);
            if (end == std::string::npos) {
                end = out.size();
            }
            std::string_view component(out.data() + i, end - i);
            std::string candidate = resolved;
            candidate.append(component);
            if (!missing && component != "." && component != "..") {
                if (lstat(candidate.c_str(), &st) != 0) {
                    std::string found = detail::FindEntryIgnoringCase(resolved, component);
                    if (found.empty()) {
                        missing = true;
                    } else {
                        candidate = resolved + found;
                    }
                }
            }
            resolved = std::move(candidate);
            i = end;
        }
        return resolved;
    });
}

std::string NativePath(const wchar_t* path) noexcept {
    return qm::detail::NoThrow(std::string(), [&] { return NativePath(qm::Utf8(path)); });
}

}  // namespace qm::platform
