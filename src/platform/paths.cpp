#include <qmsupport/platform/paths.h>

#include <qmsupport/platform/app_path.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/toolsapi/codecs.h>

#include "toolsapi/no_throw.h"

#include <unicode/uchar.h>

#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// A path taken apart: its root ("C:\", "/", "\\" or empty for a relative path), its
// components with "." and ".." resolved as far as the text allows, and whether it names a
// directory (a trailing separator, or a last component of "." or "..").
struct PathParts {
    std::wstring root;
    std::vector<std::wstring> components;
    bool directory = false;

    explicit PathParts(std::wstring_view path) {
        size_t i = 0;
        if (path.size() >= 2 && path[1] == L':' &&
            ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
            i = 2;
        }
        while (i < path.size() && IsSeparator(path[i])) {
            ++i;
        }
        root = path.substr(0, i);
        Append(path.substr(i));
    }

    void Append(std::wstring_view path) {
        std::wstring_view part;
        for (size_t start = 0; start <= path.size();) {
            size_t end = start;
            while (end < path.size() && !IsSeparator(path[end])) {
                ++end;
            }
            part = path.substr(start, end - start);
            if (part == L"..") {
                if (!components.empty() && components.back() != L"..") {
                    components.pop_back();
                } else if (root.empty()) {
                    components.emplace_back(part);  // above a relative start: kept
                }                                   // above the root: nothing
            } else if (!part.empty() && part != L".") {
                components.emplace_back(part);
            }
            start = end + 1;
        }
        if (!path.empty()) {
            directory = IsSeparator(path.back()) || part == L"." || part == L"..";
        }
    }

    // Components from `first` on, joined with `separator`.
    std::wstring Join(size_t first, wchar_t separator) const {
        std::wstring out;
        for (size_t i = first; i < components.size(); ++i) {
            out += components[i];
            if (i + 1 < components.size() || directory) {
                out += separator;
            }
        }
        return out;
    }
};

// The separator the caller writes: the first one in `a`, else in `b`, else a backslash.
wchar_t SeparatorOf(std::wstring_view a, std::wstring_view b) {
    for (std::wstring_view text : {a, b}) {
        for (wchar_t c : text) {
            if (IsSeparator(c)) {
                return c;
            }
        }
    }
    return L'\\';
}

// Windows compares path components without regard to case.
bool SameComponent(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (u_foldCase(static_cast<UChar32>(a[i]), U_FOLD_CASE_DEFAULT) !=
            u_foldCase(static_cast<UChar32>(b[i]), U_FOLD_CASE_DEFAULT)) {
            return false;
        }
    }
    return true;
}

bool SameRoot(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (!(IsSeparator(a[i]) && IsSeparator(b[i])) &&
            !SameComponent(a.substr(i, 1), b.substr(i, 1))) {
            return false;
        }
    }
    return true;
}

std::wstring_view View(const wchar_t* text) {
    return text ? std::wstring_view(text) : std::wstring_view();
}

}  // namespace

void GetAppPath(QMWideString& out) {
    out = qm::platform::AppPathOverride();
    if (!out.IsEmpty()) {
        return;
    }
    std::string target(256, '\0');
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", target.data(), target.size());
        if (n < 0) {
            return;
        }
        if (static_cast<size_t>(n) < target.size()) {
            target.resize(static_cast<size_t>(n));
            break;
        }
        target.resize(target.size() * 2);
    }
    target.resize(target.rfind('/') + 1);  // the link target is absolute
    Utf8ToUtf16(out, target.c_str());
}

void RelativePathToFullPath(const wchar_t* baseDirectory, const wchar_t* relativePath,
                            QMWideString& out) noexcept {
    out.Clear();
    qm::detail::NoThrowOrClear(out, [&] {
        std::wstring_view base = View(baseDirectory);
        std::wstring_view relative = View(relativePath);
        PathParts parts(relative);
        if (!parts.root.empty()) {
            out = QMWideString(relative);
            return;
        }
        parts = PathParts(base);
        parts.Append(relative);
        out = QMWideString(parts.root + parts.Join(0, SeparatorOf(base, relative)));
    });
}

void PathRelative2PathTo(const wchar_t* directory, const wchar_t* fullPath,
                         QMWideString& out) noexcept {
    out.Clear();
    qm::detail::NoThrowOrClear(out, [&] {
        std::wstring_view full = View(fullPath);
        PathParts from(View(directory));
        PathParts to(full);
        size_t common = 0;
        while (common < from.components.size() && common < to.components.size() &&
               SameComponent(from.components[common], to.components[common])) {
            ++common;
        }
        bool reachable = SameRoot(from.root, to.root);
        for (size_t i = common; reachable && i < from.components.size(); ++i) {
            reachable = from.components[i] != L"..";  // would need the unknown current directory
        }
        if (!reachable) {
            out = QMWideString(full);
            return;
        }
        wchar_t separator = SeparatorOf(full, View(directory));
        std::wstring relative;
        for (size_t i = common; i < from.components.size(); ++i) {
            relative += L"..";
            relative += separator;
        }
        relative += to.Join(common, separator);
        out = QMWideString(relative.empty() ? std::wstring(L".") : relative);
    });
}

bool CreateDirectoryW(const wchar_t* path) {
    return qm::platform::CreateDirectories(path);
}
