#include "migrate27/rename_engine.h"
#include "common/rename_literal.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using qm::migrate27::ApplyRenames;
using qm::migrate27::LiteralApplyRenames;

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

}  // namespace
