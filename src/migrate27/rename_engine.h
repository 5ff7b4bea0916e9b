#pragma once

#include <qmsupport/migrate27/transform_cfg_to27.h>

#include <cstdint>
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
// One replacement made on the original text: the old name of pair `pair` at `start` became
// that pair's new name.
struct Replacement {
    size_t start;
    uint32_t pair;
};

// The two delimiters must differ. Returns whether anything was replaced. With `uses`, the
// number of replacements each pair made is added to its element (one per pair). With
// `replacements`, it receives every replacement in text order when all were made in one copy
// of the original text; it is left empty when the patterns had to be applied one after the
// other, whose replacements have no place in the original text.
bool ApplyRenames(std::string& text, const std::vector<RenamePair>& pairs, char firstDelimiter,
                  char secondDelimiter, std::vector<size_t>* uses = nullptr,
                  std::vector<Replacement>* replacements = nullptr);

// One pass of renames over a document, as its text defines it: the tree is written out as text
// (without a declaration), the pairs are applied to the text as ApplyRenames does, and the
// renamed text is read back into the document when anything changed, whatever the reading
// gives. Where the renamed text would read back as the same tree with only some values changed,
// those values are changed in place instead: the same result, without reading the whole text
// again. The number of replacements each pair made is added to its element of `uses`.
// Returns whether the renamed text was read back.
bool RenameInDocument(XmlDocument& doc, const std::vector<RenamePair>& pairs, char firstDelimiter,
                      std::vector<size_t>& uses);

}  // namespace qm::migrate27
