#include <qmsupport/platform/file_find.h>
#include <qmsupport/platform/native_path.h>

#include "platform/path_rules.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <new>

namespace qm::platform {
namespace {

// `*` matches any run of characters, `?` exactly one; both operands are case-folded.
bool MatchFolded(const std::u32string& pattern, const std::u32string& name) {
    size_t p = 0, n = 0;
    size_t starP = std::u32string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
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

// A pattern that ends in "." and stars ("*.*", "METER1*.*") also matches names without a
// dot, so "*.*" matches every name.
bool MatchWildcard(const std::u32string& pattern, const std::u32string& name) {
    if (MatchFolded(pattern, name)) {
        return true;
    }
    size_t stars = pattern.find_last_not_of(U'*');
    if (stars == std::u32string::npos || stars + 1 == pattern.size() || pattern[stars] != U'.') {
        return false;
    }
    return MatchFolded(pattern.substr(0, stars), name);
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

bool FileFind::FindFile(const wchar_t* pattern) {
    matches_.clear();
    index_ = 0;
    if (!pattern) {
        return false;
    }
    try {
        const std::wstring text(pattern);
        size_t last = text.find_last_of(L"\\/");
        const std::wstring directory = last == std::wstring::npos ? L"" : text.substr(0, last + 1);
        const std::wstring namePattern = last == std::wstring::npos ? text : text.substr(last + 1);
        if (namePattern.empty()) {
            return false;
        }
        const std::string nativeDirectory = NativePath(directory.c_str());
        const std::u32string folded = detail::FoldCase(detail::ToUtf8(namePattern.c_str()));

        DIR* dir = opendir(nativeDirectory.empty() ? "." : nativeDirectory.c_str());
        if (!dir) {
            return false;
        }
        std::vector<std::pair<std::string, bool>> found;
        std::u32string foldedName;
        try {
            while (const dirent* entry = readdir(dir)) {
                std::string_view name(entry->d_name);
                if (name == "." || name == "..") {
                    continue;
                }
                detail::FoldCase(name, foldedName);
                if (!MatchWildcard(folded, foldedName)) {
                    continue;
                }
                found.emplace_back(name, IsDirectory(nativeDirectory, *entry));
            }
        } catch (...) {
            closedir(dir);
            throw;
        }
        closedir(dir);
        std::sort(found.begin(), found.end());

        matches_.reserve(found.size());
        for (const auto& [name, isDirectory] : found) {
            Match match;
            match.directory = QMWideString(directory);
            match.name = QMWideString(detail::ToWide(name));
            match.path = match.directory + match.name;
            size_t dot = match.name.str().rfind(L'.');
            match.title = dot == std::wstring::npos ? match.name
                                                    : QMWideString(match.name.str().substr(0, dot));
            match.isDirectory = isDirectory;
            matches_.push_back(std::move(match));
        }
    } catch (const std::exception&) {
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
