#pragma once

#include <qmsupport/migrate27/transform_cfg_to27.h>

#include <string>
#include <vector>

namespace qm::migrate27 {

// The renaming exactly as it is defined, one pattern at a time: for each pair in order, and
// for each of the two delimiters in order, every occurrence of the old name followed by the
// delimiter gets the new name, the text is rebuilt at every hit, and the search goes on just
// after the inserted name. A pair with an empty old name matches nothing. Slow on purpose:
// it is the reference that the fast engine is checked and measured against. With `uses`, the
// replacements of each pair are counted into its element.
inline bool LiteralApplyRenames(std::string& text, const std::vector<RenamePair>& pairs,
                                char firstDelimiter, char secondDelimiter,
                                std::vector<size_t>* uses = nullptr) {
    bool changed = false;
    if (uses != nullptr) {
        uses->resize(pairs.size());
    }
    for (size_t index = 0; index < pairs.size(); ++index) {
        const RenamePair& pair = pairs[index];
        const std::string& oldName = pair.oldName.str();
        const std::string& newName = pair.newName.str();
        if (oldName.empty()) {
            continue;
        }
        for (char delimiter : {firstDelimiter, secondDelimiter}) {
            const std::string pattern = oldName + delimiter;
            size_t from = 0;
            for (;;) {
                size_t hit = text.find(pattern, from);
                if (hit == std::string::npos) {
                    break;
                }
                text = text.substr(0, hit) + newName + text.substr(hit + oldName.size());
                from = hit + newName.size();
                changed = true;
                if (uses != nullptr) {
                    ++(*uses)[index];
                }
            }
        }
    }
    return changed;
}

}  // namespace qm::migrate27
