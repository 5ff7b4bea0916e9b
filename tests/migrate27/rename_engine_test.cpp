#include "migrate27/rename_engine.h"
#include <qmsupport/xml/xml_document.h>
#include "common/rename_literal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using qm::migrate27::ApplyRenames;
using qm::migrate27::LiteralApplyRenames;
using qm::migrate27::RenameInDocument;

namespace {

std::vector<RenamePair> Pairs(std::initializer_list<std::pair<const char*, const char*>> list) {
    std::vector<RenamePair> pairs;
    for (const auto& [from, to] : list) {
        pairs.push_back({QMNarrowString(from), QMNarrowString(to)});
    }
    return pairs;
}

std::string Fast(std::string text, const std::vector<RenamePair>& pairs, char first = '.') {
    ApplyRenames(text, pairs, first, '<');
    return text;
}

TEST(RenameEngine, ReplacesOnlyBeforeADelimiterAndUnanchoredOnTheLeft) {
    const auto pairs = Pairs({{"Meter 1", "Meter_1"}});
    EXPECT_EQ(Fast("<v>Meter 1.VI1</v><d>Meter 1</d><x>Meter 1,</x>", pairs),
              "<v>Meter_1.VI1</v><d>Meter_1</d><x>Meter 1,</x>");
    EXPECT_EQ(Fast("<v>Old Meter 1.VI1</v>", pairs), "<v>Old Meter_1.VI1</v>");
    // Meter 10 is another device: its name is not followed by a delimiter after "Meter 1".
    EXPECT_EQ(Fast("<v>Meter 10.VI1</v>", pairs), "<v>Meter 10.VI1</v>");
}

TEST(RenameEngine, PairsApplyInOrderAndSearchOnAfterTheInsertedName) {
    EXPECT_EQ(Fast("<a>A.x</a>", Pairs({{"A", "B"}, {"B", "C"}})), "<a>C.x</a>");
    EXPECT_EQ(Fast("<a>A.x</a>", Pairs({{"B", "C"}, {"A", "B"}})), "<a>B.x</a>");
    EXPECT_EQ(Fast("a.a.", Pairs({{"a", "aa"}})), "aa.aa.");
    EXPECT_EQ(Fast("[X.C3][X.C3]<", Pairs({{"X.C3", "X.F3"}}), ']'), "[X.F3][X.F3]<");
}

TEST(RenameEngine, EscapedNamesEmptyOldNamesAndTheChangeFlag) {
    EXPECT_EQ(Fast("<d>A &amp; B</d>", Pairs({{"A &amp; B", "A___B"}})), "<d>A___B</d>");
    std::string text = "<a>A.x</a>";
    EXPECT_FALSE(ApplyRenames(text, Pairs({{"", "_"}, {"B", "C"}}), '.', '<'));
    EXPECT_FALSE(ApplyRenames(text, {}, '.', '<'));
    // A hit counts as a change even when the new name equals the old one.
    EXPECT_TRUE(ApplyRenames(text, Pairs({{"A", "A"}}), '.', '<'));
    EXPECT_EQ(text, "<a>A.x</a>");
}

// Names that hold the delimiter and overlap at every delimiter of the text: the search gives
// up on its one-scan plan and the result is still the sequential one.
TEST(RenameEngine, NamesOverlappingEverywhere) {
    std::string name;
    for (int i = 0; i < 500; ++i) {
        name += "a.";
    }
    const auto pairs = Pairs({{name.c_str(), "b"}, {"a", "c"}});
    const std::string text = name + name + name + name + name + "<";
    std::string expected = text;
    LiteralApplyRenames(expected, pairs, '.', '<');
    EXPECT_EQ(Fast(text, pairs), expected);
}

// The fast engine against the literal algorithm, on texts and names drawn from a tiny
// alphabet that holds the delimiters, so that names overlap, chain, contain delimiters and
// create each other's hits.
TEST(RenameEngine, MatchesTheLiteralAlgorithmOnRandomInputs) {
    std::mt19937 random(20070301);
    auto draw = [&](const char* alphabet, size_t minLength, size_t maxLength) {
        const size_t letters = std::char_traits<char>::length(alphabet);
        std::uniform_int_distribution<size_t> length(minLength, maxLength);
        std::uniform_int_distribution<size_t> letter(0, letters - 1);
        std::string text(length(random), ' ');
        for (char& c : text) {
            c = alphabet[letter(random)];
        }
        return text;
    };
    size_t changedRuns = 0;
    for (int run = 0; run < 40000; ++run) {
        const bool variables = run % 2 == 1;
        const char first = variables ? ']' : '.';
        const char* textAlphabet = variables ? "ab]<." : "ab.<]";
        const char* nameAlphabet = run % 3 == 0 ? "ab" : (variables ? "ab]" : "ab.");
        std::vector<RenamePair> pairs;
        std::uniform_int_distribution<int> count(1, 6);
        for (int i = count(random); i > 0; --i) {
            pairs.push_back({QMNarrowString(draw(nameAlphabet, 0, 3)),
                             QMNarrowString(draw(run % 5 == 0 ? "ab<]." : "ab", 0, 4))});
        }
        // Long stretches without hits next to dense ones, to reach both the one-copy path and
        // the sequential one.
        std::string text = draw(textAlphabet, 0, 40);
        if (run % 7 == 0) {
            text += std::string(200, 'x') + draw(textAlphabet, 1, 20);
        }
        std::string expected = text;
        std::vector<size_t> expectedUses;
        const bool expectedChanged =
            LiteralApplyRenames(expected, pairs, first, '<', &expectedUses);
        std::string actual = text;
        std::vector<size_t> actualUses;
        const bool actualChanged = ApplyRenames(actual, pairs, first, '<', &actualUses);
        ASSERT_EQ(actual, expected) << "run " << run << " text " << text;
        ASSERT_EQ(actualChanged, expectedChanged) << "run " << run << " text " << text;
        ASSERT_EQ(actualUses, expectedUses) << "run " << run << " text " << text;
        changedRuns += expectedChanged ? 1 : 0;
    }
    EXPECT_GT(changedRuns, 10000u);
}

// Every node of a tree, in order: tag, kind, value, children; and the document's text.
std::string Dump(const XmlDocument& doc) {
    std::string dump = doc.IsOK() ? "" : "(not ok)";
    std::vector<std::pair<const XmlDocument::XmlNode*, int>> stack{{&doc.Root(), 0}};
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        dump += std::string(static_cast<size_t>(depth), ' ') + std::string(node->TagUtf8()) +
                (node->IsKey() ? "=" : ":") + std::string(node->ValueUtf8()) + "\n";
        std::vector<const XmlDocument::XmlNode*> children(node->ChildsBegin(), node->ChildsEnd());
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            stack.emplace_back(*it, depth + 1);
        }
    }
    QMNarrowString text;
    (void)doc.CreateXmlCode(text, false);
    return dump + text.c_str();
}

// Renaming a document in place against the definition: write the tree out, rename in the
// text with the literal algorithm, read the text back when it changed. Documents and names
// are drawn so that hits fall in values, tag and attribute names, inside references and
// across them, and so that trees that do not read back as themselves (keys after elements,
// repeated keys, blank text among elements, characters the writer replaces, namespaces) come
// up often.
TEST(RenameEngine, RenamingADocumentMatchesWritingRenamingAndReading) {
    std::mt19937 random(1999);
    auto pick = [&](std::initializer_list<const char*> choices) {
        std::uniform_int_distribution<size_t> index(0, choices.size() - 1);
        return std::string(*(choices.begin() + index(random)));
    };
    auto value = [&] {
        std::string text;
        for (int i = std::uniform_int_distribution<int>(0, 4)(random); i > 0; --i) {
            text += pick({"M 1", "M 1.", ".", "&lt;", "&amp;", "amp;", "&#10;", " ", "1", ";", "x",
                          "\xC3\xA9", "M]", "[M 1.V]"});
        }
        return text;
    };
    auto tag = [&](bool namespaces) {
        return namespaces ? pick({"a", "k:p"}) : pick({"a", "b.c", "M", "d", "x"});
    };
    size_t carried = 0;
    size_t read = 0;
    for (int run = 0; run < 4000; ++run) {
        // A random document text.
        const bool namespaces = run % 4 == 0;
        std::string text = namespaces ? "<r xmlns:k=\"u\">" : "<r>";
        for (int i = std::uniform_int_distribution<int>(1, 6)(random); i > 0; --i) {
            const std::string name = tag(namespaces);
            text += "<" + name + (random() % 2 ? " n=\"" + value() + "\"" : "") +
                    (random() % 3 == 0 ? " m.x=\"" + value() + "\"" : "") + ">" + value();
            if (random() % 2) {
                text += "<x>" + value() + "</x>";
            }
            text += "</" + name + ">";
        }
        text += value() + "</r>";
        XmlDocument reference;
        ASSERT_TRUE(reference.Parse(text.c_str())) << text;
        // Edits that leave trees the text does not give back.
        XmlDocument::XmlNode& root = reference.Root();
        switch (random() % 8) {
            case 0:
                root.SetValueUtf8("late", value());  // a key after the elements
                break;
            case 1:
                root.SetValueUtf8(random() % 2 ? " " : "\t");
                break;
            case 2:
                root.NewChild(L"e")->SetValueUtf8(std::string("M 1.\x01\xFF"));
                break;
            case 3:
                // A namespace declaration after another key: reading puts it first.
                root.NewChild(L"e")->SetValueUtf8("n", "M 1.");
                root.Node(L"e")->SetValueUtf8("xmlns", "M 1.");
                break;
            case 4:
                root.NewChild(L"z:q")->SetValueUtf8("M 1.");  // an undeclared prefix
                break;
            default:
                break;
        }
        std::vector<RenamePair> pairs;
        for (int i = std::uniform_int_distribution<int>(1, 3)(random); i > 0; --i) {
            pairs.push_back({QMNarrowString(pick({"M 1", "1", "amp;", "&amp;", "x", "b", "k:p", " ",
                                                  "10;", "M", "n", "M 1.V"})),
                             QMNarrowString(pick({"M_1", "", " ", "&#9;", "R$CAL_M", "y&amp;z",
                                                  "\xC3\xA9", "q", "\xFFq", "a&b"}))});
        }
        XmlDocument actual(reference.Root());
        for (char first : {'.', ']'}) {
            QMNarrowString written;
            (void)reference.CreateXmlCode(written, false);
            std::string renamed = written.c_str();
            std::vector<size_t> expectedUses;
            if (LiteralApplyRenames(renamed, pairs, first, '<', &expectedUses)) {
                (void)reference.Parse(renamed.c_str());
            }
            std::vector<size_t> uses(pairs.size());
            if (RenameInDocument(actual, pairs, first, uses)) {
                ++read;
            } else if (std::count(uses.begin(), uses.end(), 0u) != static_cast<long>(uses.size())) {
                ++carried;
            }
            ASSERT_EQ(Dump(actual), Dump(reference)) << "run " << run << " text " << text;
            ASSERT_EQ(uses, expectedUses) << "run " << run;
        }
    }
    // Both ways were taken often.
    EXPECT_GT(carried, 250u) << read;
    EXPECT_GT(read, 1000u);
}

}  // namespace
