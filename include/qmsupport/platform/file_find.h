#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

#include <string>
#include <string_view>
#include <vector>

namespace qm::platform {

// A wildcard pattern for a name: "*" matches any run of characters and "?" exactly one, and
// the rest matches without regard to case. A pattern ending in "." and stars also matches
// names without a dot, so "*.*" matches every name and "METER1*.*" matches "METER1".
class QMSUPPORT_API Wildcard {
  public:
    // A pattern that cannot be stored (no memory) matches no name.
    explicit Wildcard(std::wstring_view pattern) noexcept;
    bool Matches(std::wstring_view name) const;
    // When the pattern matches exactly the names whose case folding (FoldCase) starts with
    // some text, as "METER1*" and "METER1*.*" do, that text case-folded; else null. Lets a
    // caller look the names up in a sorted index instead of matching each one.
    const std::u32string* Prefix() const { return hasPrefix_ ? &prefix_ : nullptr; }

  private:
    std::u32string pattern_;  // case-folded
    std::u32string dotless_;  // the pattern without its final "." and stars
    std::u32string prefix_;
    bool hasDotless_ = false;
    bool hasPrefix_ = false;
};

// The case folding that Wildcard matches with, character by character.
QMSUPPORT_API std::u32string FoldCase(std::wstring_view text);

// A wildcard file search with the Windows semantics: the last component of the pattern is a
// Wildcard, and the directory part follows the path rules of NativePath. Matches are ordered by
// name (byte order). Directories match too, except "." and
// "..". Use: `if (find.FindFile(p)) while (find.FindNextFile()) use(find.Current());`, or walk
// Matches() directly.
class QMSUPPORT_API FileFind {
  public:
    struct Match {
        QMWideString directory;  // the directory of the match, as given in the pattern, with
                                 // its trailing separator
        QMWideString path;       // directory + name
        QMWideString title;      // the name without its last extension ("" for ".hidden")
        QMWideString name;
        bool isDirectory = false;
    };

    // Searches for `pattern`; true when anything matched.
    bool FindFile(const wchar_t* pattern) noexcept;
    // Moves to the next match; false when there is none left. Call once before the first.
    bool FindNextFile();
    const Match& Current() const { return matches_[index_ - 1]; }
    const std::vector<Match>& Matches() const { return matches_; }

  private:
    std::vector<Match> matches_;
    size_t index_ = 0;
};

}  // namespace qm::platform
