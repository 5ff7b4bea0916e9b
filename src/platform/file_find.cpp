#include <qmsupport/platform/file_find.h>
#include <qmsupport/platform/native_path.h>

#include "platform/path_rules.h"
#include "toolsapi/no_throw.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <memory>

namespace qm::platform {
namespace {

// The case folding of one character; a value that is no Unicode scalar value counts as
// U+FFFD, as it does when the text is written out as UTF-8.
char32_t Fold(wchar_t c) {
    auto code = static_cast<uint32_t>(c);
    if (code < 0x80) {
        return code >= 'A' && code <= 'Z' ? code + ('a' - 'A') : code;
    }
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        code = 0xFFFD;
    }
    return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(code), U_FOLD_CASE_DEFAULT));
}

// `*` matches any run of characters, `?` exactly one; the pattern is case-folded already.
bool MatchFolded(const std::u32string& pattern, std::wstring_view name) {
    size_t p = 0, n = 0;
    size_t starP = std::u32string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == Fold(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u32string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*') {
        ++p;
    }
    return p == pattern.size();
}

bool IsDirectory(const std::string& directory, const dirent& entry) {
    if (entry.d_type == DT_DIR) {
        return true;
    }
    if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) {
        return false;
    }
    struct stat st;
    std::string path = directory.empty() ? std::string(entry.d_name) : directory + entry.d_name;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

Wildcard::Wildcard(std::wstring_view pattern) noexcept {
    // Without memory for the pattern, it matches nothing.
    const bool made = qm::detail::NoThrow(false, [&] {
        pattern_ = FoldCase(pattern);
        size_t stars = pattern_.find_last_not_of(U'*');
        hasDotless_ =
            stars != std::u32string::npos && stars + 1 < pattern_.size() && pattern_[stars] == U'.';
        if (hasDotless_) {
            dotless_ = pattern_.substr(0, stars);
        }
        // "P*" matches the names starting with P, unless P ends with "." (then "P" matches
        // too, as a dotless name); "P*.*" matches them whatever P ends with, through its
        // dotless form "P*".
        const size_t wild = pattern_.find_first_of(U"*?");
        if (wild != std::u32string::npos) {
            const std::u32string_view rest = std::u32string_view(pattern_).substr(wild);
            hasPrefix_ = rest == U"*.*" || (rest == U"*" && !hasDotless_);
            prefix_ = pattern_.substr(0, wild);
        }
        return true;
    });
    if (!made) {
        pattern_.clear();
        hasDotless_ = false;
        hasPrefix_ = false;
    }
}

std::u32string FoldCase(std::wstring_view text) {
    std::u32string folded;
    folded.reserve(text.size());
    for (wchar_t c : text) {
        folded += Fold(c);
    }
    return folded;
}

bool Wildcard::Matches(std::wstring_view name) const {
    if (pattern_.empty()) {
        return false;
    }
    return MatchFolded(pattern_, name) || (hasDotless_ && MatchFolded(dotless_, name));
}

bool FileFind::FindFile(const wchar_t* pattern) noexcept {
    matches_.clear();
    index_ = 0;
    if (!pattern) {
        return false;
    }
    const bool found = qm::detail::NoThrow(false, [&] {
        const std::wstring text(pattern);
        size_t last = text.find_last_of(L"\\/");
        const std::wstring directory = last == std::wstring::npos ? L"" : text.substr(0, last + 1);
        const std::wstring namePattern = last == std::wstring::npos ? text : text.substr(last + 1);
        if (namePattern.empty()) {
            return false;
        }
        const std::string nativeDirectory = NativePath(directory.c_str());
        const Wildcard wildcard(namePattern);

        const std::unique_ptr<DIR, int (*)(DIR*)> dir(
            opendir(nativeDirectory.empty() ? "." : nativeDirectory.c_str()), closedir);
        if (!dir) {
            return false;
        }
        // Names are matched as the caller sees them, in wide text, and ordered by their bytes.
        struct Found {
            std::string native;
            std::wstring name;
            bool isDirectory;
        };
        std::vector<Found> found;
        while (const dirent* entry = readdir(dir.get())) {
            std::string_view name(entry->d_name);
            if (name == "." || name == "..") {
                continue;
            }
            std::wstring wide = qm::Wide(name).str();
            if (!wildcard.Matches(wide)) {
                continue;
            }
            found.push_back(
                {std::string(name), std::move(wide), IsDirectory(nativeDirectory, *entry)});
        }
        std::sort(found.begin(), found.end(),
                  [](const Found& a, const Found& b) { return a.native < b.native; });

        matches_.reserve(found.size());
        for (auto& entry : found) {
            Match match;
            match.directory = QMWideString(directory);
            match.name = QMWideString(std::move(entry.name));
            match.path = match.directory + match.name;
            size_t dot = match.name.str().rfind(L'.');
            match.title = dot == std::wstring::npos ? match.name
                                                    : QMWideString(match.name.str().substr(0, dot));
            match.isDirectory = entry.isDirectory;
            matches_.push_back(std::move(match));
        }
        return true;
    });
    if (!found) {
        matches_.clear();
    }
    return !matches_.empty();
}

bool FileFind::FindNextFile() {
    if (index_ >= matches_.size()) {
        return false;
    }
    ++index_;
    return true;
}

}  // namespace qm::platform
