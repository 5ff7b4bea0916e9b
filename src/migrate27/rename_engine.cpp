#include "migrate27/rename_engine.h"

#include "xml/written_document.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qm::migrate27 {
namespace {

// Every pattern is an old name followed by one of the two delimiters, so the search looks
// at each delimiter of the text and walks backwards through a trie of the reversed old names:
// each name met on the way ends right before that delimiter.
class ReverseNameTrie {
  public:
    ReverseNameTrie(const std::vector<RenamePair>& pairs, char firstDelimiter, char secondDelimiter)
        : nodes_(1), delimiters_{firstDelimiter, secondDelimiter} {
        root_.fill(-1);
        delimiterIndex_.fill(-1);
        delimiterIndex_[static_cast<unsigned char>(secondDelimiter)] = 1;
        delimiterIndex_[static_cast<unsigned char>(firstDelimiter)] = 0;
        for (size_t i = 0; i < pairs.size(); ++i) {
            const std::string& name = pairs[i].oldName.str();
            if (name.empty()) {
                continue;
            }
            int node = 0;
            for (size_t k = name.size(); k-- > 0;) {
                node = childOrNew(node, static_cast<unsigned char>(name[k]));
            }
            nodes_[static_cast<size_t>(node)].pairs.push_back(static_cast<uint32_t>(i));
            longestName_ = std::max(longestName_, name.size());
        }
    }

    bool Empty() const { return longestName_ == 0; }
    // The longest pattern: the longest old name and its delimiter.
    size_t LongestPattern() const { return longestName_ + 1; }

    // Calls hit(start, pass) for every occurrence of a pattern in `text`, in the order of
    // the delimiters' positions. The pass of pair i is 2 * i for the first delimiter and
    // 2 * i + 1 for the second. Each delimiter, each step back and each occurrence spends one
    // unit of `budget`; names made to overlap at every delimiter could otherwise take time
    // quadratic in the text. False when the budget ran out before the end.
    template <class Hit>
    bool ForEachOccurrence(std::string_view text, size_t& budget, Hit&& hit) const {
        const unsigned char* data = reinterpret_cast<const unsigned char*>(text.data());
        for (size_t at = nextDelimiter(data, 1, text.size()); at < text.size();
             at = nextDelimiter(data, at + 1, text.size())) {
            const int delimiter = delimiterIndex_[data[at]];
            size_t start = at;
            int node = root_[data[--start]];
            while (node >= 0) {
                const std::vector<uint32_t>& pairs = nodes_[static_cast<size_t>(node)].pairs;
                if (budget <= pairs.size()) {
                    return false;
                }
                budget -= pairs.size() + 1;
                for (uint32_t pair : pairs) {
                    hit(start, 2 * pair + static_cast<uint32_t>(delimiter));
                }
                if (start == 0) {
                    break;
                }
                node = child(node, data[--start]);
            }
        }
        return true;
    }

  private:
    struct Node {
        std::vector<std::pair<unsigned char, int>> children;  // below the root only
        std::vector<uint32_t> pairs;                          // pairs whose old name ends here
    };

    // The position of the next delimiter from `at` on, or `size`. Delimiters are a small share
    // of a document's bytes, so sixteen bytes are looked at at once where the processor can.
    size_t nextDelimiter(const unsigned char* data, size_t at, size_t size) const {
#if defined(__SSE2__)
        const __m128i first = _mm_set1_epi8(delimiters_[0]);
        const __m128i second = _mm_set1_epi8(delimiters_[1]);
        for (; at + 16 <= size; at += 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
            const int hits = _mm_movemask_epi8(
                _mm_or_si128(_mm_cmpeq_epi8(block, first), _mm_cmpeq_epi8(block, second)));
            if (hits != 0) {
                return at + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(hits)));
            }
        }
#endif
        while (at < size && delimiterIndex_[data[at]] < 0) {
            ++at;
        }
        return at;
    }

    int child(int node, unsigned char c) const {
        for (const auto& [label, target] : nodes_[static_cast<size_t>(node)].children) {
            if (label == c) {
                return target;
            }
        }
        return -1;
    }

    int childOrNew(int node, unsigned char c) {
        int existing = node == 0 ? root_[c] : child(node, c);
        if (existing >= 0) {
            return existing;
        }
        int created = static_cast<int>(nodes_.size());
        nodes_.emplace_back();
        if (node == 0) {
            root_[c] = created;
        } else {
            nodes_[static_cast<size_t>(node)].children.emplace_back(c, created);
        }
        return created;
    }

    std::vector<Node> nodes_;  // nodes_[0] is the root; its children are in root_
    std::array<int, 256> root_;
    std::array<int, 256> delimiterIndex_;
    std::array<char, 2> delimiters_;
    size_t longestName_ = 0;
};

// One replacement chosen by its pass: the old name at `start` (in the original text) becomes
// the new name of the pass's pair.
struct Hit {
    size_t start;
    uint32_t pass;
};

class FastRenamer {
  public:
    FastRenamer(const std::vector<RenamePair>& pairs, char firstDelimiter, char secondDelimiter)
        : pairs_(pairs), trie_(pairs, firstDelimiter, secondDelimiter) {}

    bool Empty() const { return trie_.Empty(); }

    // Finds the hits of every pass as that pass alone would choose them on the original
    // text. False when the passes are not independent, so the result would differ from the
    // sequential application.
    bool Plan(const std::string& text) {
        budget_ = 32 * text.size() + (size_t{1} << 20);
        std::vector<std::vector<size_t>> occurrences(2 * pairs_.size());
        if (!trie_.ForEachOccurrence(text, budget_, [&](size_t start, uint32_t pass) {
                occurrences[pass].push_back(start);
            })) {
            return false;
        }
        // A pass searches on from the end of the old name it replaced, so its hits never
        // overlap; for one pattern the occurrences arrive sorted by start.
        for (uint32_t pass = 0; pass < occurrences.size(); ++pass) {
            size_t from = 0;
            for (size_t start : occurrences[pass]) {
                if (start >= from) {
                    hits_.push_back({start, pass});
                    from = start + oldName(pass).size();
                }
            }
        }
        std::sort(hits_.begin(), hits_.end(),
                  [](const Hit& a, const Hit& b) { return a.start < b.start; });
        return independentHits();
    }

    bool HasHits() const { return !hits_.empty(); }

    // Replaces every planned hit in one copy of the text. False, with the text unchanged,
    // when an inserted name might create a hit of a later pass.
    bool Apply(std::string& text, std::vector<size_t>* uses,
               std::vector<Replacement>* replacements) const {
        if (mayCreateLaterHits(text)) {
            return false;
        }
        if (uses != nullptr) {
            for (const Hit& hit : hits_) {
                ++(*uses)[hit.pass / 2];
            }
        }
        if (replacements != nullptr) {
            for (const Hit& hit : hits_) {
                replacements->push_back({hit.start, hit.pass / 2});
            }
        }
        std::string out;
        out.reserve(text.size() + text.size() / 8);
        size_t copied = 0;
        for (const Hit& hit : hits_) {
            out.append(text, copied, hit.start - copied);
            out += newName(hit.pass);
            copied = hit.start + oldName(hit.pass).size();
        }
        out.append(text, copied, std::string::npos);
        text.swap(out);
        return true;
    }

  private:
    const std::string& oldName(uint32_t pass) const { return pairs_[pass / 2].oldName.str(); }
    const std::string& newName(uint32_t pass) const { return pairs_[pass / 2].newName.str(); }
    size_t end(const Hit& hit) const { return hit.start + oldName(hit.pass).size(); }

    // A hit of a later pass must still be there when that pass runs: no earlier pass may
    // replace any of its characters, its delimiter included.
    bool independentHits() const {
        size_t reach = 0;
        for (const Hit& hit : hits_) {
            if (hit.start < reach) {
                return false;  // two old names overlap; they belong to different passes
            }
            reach = std::max(reach, end(hit));
        }
        // With no overlap, the only remaining contact is a hit's delimiter being the first
        // character of the next hit, which matters when that next hit is replaced first.
        for (size_t i = 0; i + 1 < hits_.size(); ++i) {
            if (hits_[i + 1].start == end(hits_[i]) && hits_[i + 1].pass < hits_[i].pass) {
                return false;
            }
        }
        return true;
    }

    // Whether a pass might find a hit that touches a name inserted by an earlier pass. Hits
    // whose surroundings (the longest pattern on either side) hold no other hit are checked in
    // that window of the result. Hits close together form a cluster, whose window is checked
    // once for each set of passes that have run when a later pass looks at it. Dense clusters
    // of many passes would make that costly: past a budget of a few times the text, the
    // answer is a cautious yes, as it is when the search runs out of its own budget.
    bool mayCreateLaterHits(const std::string& text) const {
        const size_t reach = trie_.LongestPattern() - 1;
        size_t budget = 2 * text.size() + 65536;
        for (size_t first = 0; first < hits_.size();) {
            size_t last = first;
            size_t clusterEnd = end(hits_[first]);
            while (last + 1 < hits_.size() && hits_[last + 1].start < clusterEnd + reach) {
                ++last;
                clusterEnd = std::max(clusterEnd, end(hits_[last]));
            }
            const size_t windowStart = hits_[first].start - std::min(reach, hits_[first].start);
            const size_t windowEnd = std::min(text.size(), clusterEnd + reach);
            std::vector<uint32_t> passes;
            for (size_t i = first; i <= last; ++i) {
                passes.push_back(hits_[i].pass);
            }
            std::sort(passes.begin(), passes.end());
            passes.erase(std::unique(passes.begin(), passes.end()), passes.end());
            for (size_t k = 0; k < passes.size(); ++k) {
                const size_t cost = windowEnd - windowStart;
                if (cost > budget) {
                    return true;
                }
                budget -= cost;
                const uint32_t applied = passes[k];
                const uint32_t until = k + 1 < passes.size() ? passes[k + 1] : UINT32_MAX;
                if (windowCreatesHit(text, first, last, windowStart, windowEnd, applied, until)) {
                    return true;
                }
            }
            first = last + 1;
        }
        return false;
    }

    // Builds the window with the cluster's hits of passes up to `applied` replaced, and looks
    // for a hit of a pass in (applied, until] that touches an inserted name.
    bool windowCreatesHit(const std::string& text, size_t first, size_t last, size_t windowStart,
                          size_t windowEnd, uint32_t applied, uint32_t until) const {
        std::string window;
        std::vector<std::pair<size_t, size_t>> inserted;  // position and length in window
        size_t copied = windowStart;
        for (size_t i = first; i <= last; ++i) {
            const Hit& hit = hits_[i];
            if (hit.pass > applied) {
                continue;
            }
            window.append(text, copied, hit.start - copied);
            inserted.emplace_back(window.size(), newName(hit.pass).size());
            window += newName(hit.pass);
            copied = end(hit);
        }
        window.append(text, copied, windowEnd - copied);
        bool created = false;
        const bool searched =
            trie_.ForEachOccurrence(window, budget_, [&](size_t start, uint32_t pass) {
                if (created || pass <= applied || pass > until) {
                    return;
                }
                // The inserted names are sorted and apart: only the first one that ends after the
                // hit's start can touch it. An empty insertion joins its two sides, so a hit that
                // spans the joint is new as well.
                const auto candidate = std::partition_point(
                    inserted.begin(), inserted.end(), [&](const std::pair<size_t, size_t>& name) {
                        return name.first + name.second <= start;
                    });
                const size_t stop = start + oldName(pass).size() + 1;
                created = candidate != inserted.end() && stop > candidate->first;
            });
        return created || !searched;
    }

    const std::vector<RenamePair>& pairs_;
    ReverseNameTrie trie_;
    std::vector<Hit> hits_;
    mutable size_t budget_ = 0;  // steps left to the name search
};

// Where `pattern` next occurs in `text` from `from` on; memmem searches in linear time
// whatever the pattern.
size_t Find(const std::string& text, const std::string& pattern, size_t from) {
    const void* hit =
        memmem(text.data() + from, text.size() - from, pattern.data(), pattern.size());
    return hit == nullptr ? std::string::npos
                          : static_cast<size_t>(static_cast<const char*>(hit) - text.data());
}

// One pattern at a time, with one copy of the text per pattern that occurs.
bool ApplySequentially(std::string& text, const std::vector<RenamePair>& pairs, char firstDelimiter,
                       char secondDelimiter, std::vector<size_t>* uses) {
    bool changed = false;
    std::string pattern;
    std::string out;
    for (size_t index = 0; index < pairs.size(); ++index) {
        const RenamePair& pair = pairs[index];
        const std::string& oldName = pair.oldName.str();
        if (oldName.empty()) {
            continue;
        }
        for (char delimiter : {firstDelimiter, secondDelimiter}) {
            pattern.assign(oldName).push_back(delimiter);
            size_t hit = Find(text, pattern, 0);
            if (hit == std::string::npos) {
                continue;
            }
            out.clear();
            size_t copied = 0;
            while (hit != std::string::npos) {
                out.append(text, copied, hit - copied);
                out += pair.newName.str();
                copied = hit + oldName.size();
                hit = Find(text, pattern, copied);
                if (uses != nullptr) {
                    ++(*uses)[index];
                }
            }
            out.append(text, copied, std::string::npos);
            text.swap(out);
            changed = true;
        }
    }
    return changed;
}

// Whether a name, escaped, stands for more than white space: a value that holds it cannot
// turn into layout, which reading a document drops between elements.
bool HoldsNonBlank(std::string_view escaped) {
    while (!escaped.empty()) {
        size_t skip = 0;
        for (std::string_view blank : {" ", "&#9;", "&#10;", "&#13;"}) {
            if (escaped.substr(0, blank.size()) == blank) {
                skip = blank.size();
            }
        }
        if (skip == 0) {
            return true;
        }
        escaped.remove_prefix(skip);
    }
    return false;
}

// Whether `at` lies inside one of the writer's references ("&amp;", "&#10;", ...) in the
// escaped value that starts at `begin`.
bool InsideReference(std::string_view text, size_t begin, size_t at) {
    for (size_t k = at; k > begin && at - k < 6; --k) {
        const char c = text[k - 1];
        if (c == '&') {
            return true;
        }
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '#') {
            return false;
        }
    }
    return false;
}

// Makes the replacements of a pass, made on the document's written text, to the values of
// the tree instead, where that gives what reading the renamed text back would: the text
// reads back as the same tree, each replacement lies inside one value and starts on a
// character of it, and each new name is written as the writer writes it and stands for more
// than white space. False, with the tree unchanged, otherwise.
bool CarryIntoValues(const qm::xml::WrittenDocument& written, const std::string& renamed,
                     const std::vector<Replacement>& replacements,
                     const std::vector<RenamePair>& pairs) {
    if (!written.readsBack || replacements.empty()) {
        return false;
    }
    // Whether each pair's new name may go into a value, looked at once per pair.
    enum class NewName : char { Unknown, Fits, Refused };
    std::vector<NewName> newNames(pairs.size(), NewName::Unknown);
    auto fits = [&](uint32_t pair) {
        if (newNames[pair] == NewName::Unknown) {
            const std::string& name = pairs[pair].newName.str();
            newNames[pair] = HoldsNonBlank(name) && qm::xml::IsWrittenForm(name) ? NewName::Fits
                                                                                 : NewName::Refused;
        }
        return newNames[pair] == NewName::Fits;
    };
    // The value of each replacement, by its position in `written.values`.
    std::vector<size_t> valueOf(replacements.size());
    for (size_t i = 0, value = 0; i < replacements.size(); ++i) {
        const Replacement& replacement = replacements[i];
        while (value < written.values.size() && written.values[value].end <= replacement.start) {
            ++value;
        }
        if (value == written.values.size() || written.values[value].begin > replacement.start ||
            replacement.start + pairs[replacement.pair].oldName.str().size() >
                written.values[value].end ||
            InsideReference(written.text, written.values[value].begin, replacement.start) ||
            !fits(replacement.pair)) {
            return false;
        }
        valueOf[i] = value;
    }
    // The renamed text is the written one with each old name replaced: a value's text in it is
    // shifted by the growth of the replacements before it.
    ptrdiff_t shift = 0;
    for (size_t i = 0; i < replacements.size();) {
        const size_t value = valueOf[i];
        const qm::xml::WrittenValue& changed = written.values[value];
        ptrdiff_t growth = 0;
        for (; i < replacements.size() && valueOf[i] == value; ++i) {
            const RenamePair& pair = pairs[replacements[i].pair];
            growth += static_cast<ptrdiff_t>(pair.newName.str().size()) -
                      static_cast<ptrdiff_t>(pair.oldName.str().size());
        }
        const auto begin = static_cast<size_t>(static_cast<ptrdiff_t>(changed.begin) + shift);
        const auto length =
            static_cast<size_t>(static_cast<ptrdiff_t>(changed.end - changed.begin) + growth);
        qm::xml::SetEscapedValue(*changed.node, std::string_view(renamed).substr(begin, length));
        shift += growth;
    }
    return true;
}

}  // namespace

bool ApplyRenames(std::string& text, const std::vector<RenamePair>& pairs, char firstDelimiter,
                  char secondDelimiter, std::vector<size_t>* uses,
                  std::vector<Replacement>* replacements) {
    if (uses != nullptr && uses->size() < pairs.size()) {
        uses->resize(pairs.size());
    }
    if (replacements != nullptr) {
        replacements->clear();
    }
    FastRenamer renamer(pairs, firstDelimiter, secondDelimiter);
    if (renamer.Empty()) {
        return false;
    }
    if (renamer.Plan(text)) {
        if (!renamer.HasHits()) {
            return false;
        }
        if (renamer.Apply(text, uses, replacements)) {
            return true;
        }
    }
    return ApplySequentially(text, pairs, firstDelimiter, secondDelimiter, uses);
}

bool RenameInDocument(XmlDocument& doc, const std::vector<RenamePair>& pairs, char firstDelimiter,
                      std::vector<size_t>& uses) {
    qm::xml::WrittenDocument written;
    // A tree that cannot be written out gives an empty text, which renames nothing.
    (void)qm::xml::WriteDocument(doc, written);
    std::string text = written.text;
    std::vector<Replacement> replacements;
    if (!ApplyRenames(text, pairs, firstDelimiter, '<', &uses, &replacements) ||
        CarryIntoValues(written, text, replacements, pairs)) {
        return false;
    }
    // Whatever the reading gives: a renamed text that is no XML leaves an empty document.
    (void)doc.Parse(text.c_str(), text.size());
    return true;
}

}  // namespace qm::migrate27
