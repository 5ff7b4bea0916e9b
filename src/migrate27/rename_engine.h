#pragma once

#include <qmsupport/migrate27/transform_cfg_to27.h>

#include <string>
#include <vector>

namespace qm::migrate27 {

// Applies rename pairs to a text with the result of the one-pattern-at-a-time definition
// (see LiteralApplyRenames): for each pair in order, and for each delimiter in order, the old
// name followed by the delimiter becomes the new name, the search continuing after the
// inserted name, so a later pair sees what earlier pairs wrote.
//
// All patterns are found in one scan. When no hit of one pattern disturbs a hit of a pattern
// applied later, and no inserted name creates a hit of a later pattern, the passes are
// independent and every replacement is made in one copy of the text. Otherwise the patterns
// are applied one after the other. A pair with an empty old name (a device that had no name)
// matches nothing: its pattern would be the bare delimiter, and the new name would land
// before every "." or "<" of the document, markup included.
//
// The two delimiters must differ. Returns whether anything was replaced. With `uses`, the
// number of replacements each pair made is added to its element (one per pair).
bool ApplyRenames(std::string& text, const std::vector<RenamePair>& pairs, char firstDelimiter,
                  char secondDelimiter, std::vector<size_t>* uses = nullptr);

}  // namespace qm::migrate27
