#pragma once

#include <qmsupport/export.h>
#include <qmsupport/toolsapi/basic_string.h>

#include <vector>

namespace qm::platform {

// A wildcard file search with the Windows semantics: the last component of the pattern may
// hold "*" (any run of characters) and "?" (exactly one character), matched without regard to
// case; a pattern ending in "." and stars also matches names without a dot, so "*.*" matches
// every name and "METER1*.*" matches "METER1". The directory part follows the path rules of
// NativePath. Matches are ordered by name (byte order). Directories match too, except "." and
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
    bool FindFile(const wchar_t* pattern);
    // Moves to the next match; false when there is none left. Call once before the first.
    bool FindNextFile();
    const Match& Current() const { return matches_[index_ - 1]; }
    const std::vector<Match>& Matches() const { return matches_; }

  private:
    std::vector<Match> matches_;
    size_t index_ = 0;
};

}  // namespace qm::platform
