#include <qmsupport/platform/file_find.h>

#include "common/temp_dir.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using qm::platform::FileFind;

namespace {

std::vector<std::wstring> Names(const wchar_t* pattern) {
    FileFind find;
    std::vector<std::wstring> names;
    bool any = find.FindFile(pattern);
    while (find.FindNextFile()) {
        names.push_back(find.Current().name.c_str());
    }
    EXPECT_EQ(any, !names.empty());
    return names;
}

class FileFindTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.MakeDirectory("Cfg/2008");
        for (const char* name : {"Main.xscn", "b.XSCN", "README", "X.Q1.Summary.xrpt", ".hidden",
                                 "METER1_03_2008.dat", "METER10_03_2008.dat", "a.b.c"}) {
            dir_.WriteText(std::string("Cfg/") + name, "x");
        }
    }
    std::wstring Pattern(const wchar_t* tail) const { return dir_.WidePath() + tail; }

    TempDir dir_;
};

}  // namespace

TEST_F(FileFindTest, StarDotStarMatchesEveryNameInByteOrder) {
    EXPECT_EQ(Names(Pattern(L"cfg\\*.*").c_str()),
              (std::vector<std::wstring>{L".hidden", L"2008", L"METER10_03_2008.dat",
                                         L"METER1_03_2008.dat", L"Main.xscn", L"README",
                                         L"X.Q1.Summary.xrpt", L"a.b.c", L"b.XSCN"}));
    EXPECT_EQ(Names(Pattern(L"CFG/*").c_str()).size(), 9u);
}

// Without regard to case; a trailing ".*" also matches names without a dot; "?" matches
// exactly one character.
TEST_F(FileFindTest, PatternsMatchAsTheSystemMatches) {
    const std::pair<const wchar_t*, std::vector<std::wstring>> cases[] = {
        {L"Cfg\\*.xscn", {L"Main.xscn", L"b.XSCN"}},
        {L"Cfg\\X.*.XRPT", {L"X.Q1.Summary.xrpt"}},
        {L"Cfg\\*.q1.summary.XRPT", {L"X.Q1.Summary.xrpt"}},
        {L"Cfg\\main.XSCN", {L"Main.xscn"}},
        {L"Cfg\\readme.*", {L"README"}},
        {L"Cfg\\2008*.*", {L"2008"}},
        {L"Cfg\\README.?", {}},
        {L"Cfg\\METER1_??_2008.*", {L"METER1_03_2008.dat"}},
        {L"Cfg\\METER1?_03_2008.dat", {L"METER10_03_2008.dat"}},
        {L"Cfg\\?.xscn", {L"b.XSCN"}},
    };
    for (const auto& [pattern, names] : cases) {
        EXPECT_EQ(Names(Pattern(pattern).c_str()), names) << pattern;
    }
}

TEST_F(FileFindTest, ReportsDirectoryAsGivenPathTitleAndName) {
    FileFind find;
    const std::wstring pattern = Pattern(L"cfg\\*.XRPT");
    ASSERT_TRUE(find.FindFile(pattern.c_str()));
    ASSERT_TRUE(find.FindNextFile());
    const FileFind::Match& m = find.Current();
    EXPECT_EQ(m.directory, (dir_.WidePath() + L"cfg\\").c_str());
    EXPECT_EQ(m.path, (dir_.WidePath() + L"cfg\\X.Q1.Summary.xrpt").c_str());
    EXPECT_EQ(m.title, L"X.Q1.Summary");
    EXPECT_EQ(m.name, L"X.Q1.Summary.xrpt");
    EXPECT_FALSE(m.isDirectory);
    EXPECT_FALSE(find.FindNextFile());

    ASSERT_TRUE(find.FindFile(Pattern(L"Cfg\\2008*.*").c_str()));
    EXPECT_TRUE(find.Matches()[0].isDirectory);
    EXPECT_EQ(find.Matches()[0].title, L"2008");
    ASSERT_TRUE(find.FindFile(Pattern(L"Cfg\\.hidden").c_str()));
    EXPECT_EQ(find.Matches()[0].title, L"");
}

TEST_F(FileFindTest, RelativePatternsAndMisses) {
    CurrentDirectory cwd(dir_.Path("Cfg"));
    FileFind find;
    ASSERT_TRUE(find.FindFile(L"main.*"));
    ASSERT_TRUE(find.FindNextFile());
    EXPECT_EQ(find.Current().directory, L"");
    EXPECT_EQ(find.Current().path, L"Main.xscn");
    EXPECT_EQ(Names(L"..\\CFG\\b.*"), (std::vector<std::wstring>{L"b.XSCN"}));

    EXPECT_FALSE(find.FindFile(L"nothing*.here"));
    EXPECT_FALSE(find.FindNextFile());
    EXPECT_FALSE(find.FindFile(L"missing\\*.*"));
    EXPECT_FALSE(find.FindFile(L"..\\cfg\\"));
    EXPECT_FALSE(find.FindFile(nullptr));
    // "." and ".." never match, not even patterns made for them.
    EXPECT_EQ(Names(L".*"), (std::vector<std::wstring>{L".hidden"}));
    EXPECT_TRUE(Names(L"..").empty());
}

TEST(Wildcard, MatchesOneNameAsTheSearchDoes) {
    using qm::platform::Wildcard;
    const Wildcard device(L"Meter 1*.*");
    EXPECT_TRUE(device.Matches(L"METER 1"));
    EXPECT_TRUE(device.Matches(L"meter 10_03_2008.std"));
    EXPECT_FALSE(device.Matches(L"Meter 2_03_2008.std"));
    EXPECT_FALSE(device.Matches(L"Meter"));
    // Case folding goes beyond ASCII, and a non-ASCII character may fold to an ASCII one.
    EXPECT_TRUE(Wildcard(L"\u00c4rger_??_*.STD").Matches(L"\u00e4RGER_03_2008.std"));
    EXPECT_TRUE(Wildcard(L"k*").Matches(L"\u212a1"));
}

// A pattern that offers a prefix matches exactly the names whose folding starts with it.
TEST(Wildcard, PrefixAgreesWithMatching) {
    using qm::platform::FoldCase;
    using qm::platform::Wildcard;
    const std::wstring names[] = {L"abc",  L"ABC.",    L"abc.d", L"abcd_01_2008.std", L"ab",
                                  L"xabc", L"\u212a1", L"k.x",   L"abc.x.y"};
    for (const wchar_t* pattern :
         {L"ABC*.*", L"abc*", L"abc.*", L"abc.*.*", L"k*", L"a?c*", L"*abc", L"abc"}) {
        const Wildcard wildcard(pattern);
        const std::u32string* prefix = wildcard.Prefix();
        if (prefix == nullptr) {
            continue;
        }
        for (const std::wstring& name : names) {
            EXPECT_EQ(FoldCase(name).starts_with(*prefix), wildcard.Matches(name))
                << pattern << " / " << name;
        }
    }
    EXPECT_EQ(Wildcard(L"abc.*").Prefix(), nullptr);  // it matches the dotless "abc" too
    EXPECT_EQ(Wildcard(L"a?c*").Prefix(), nullptr);
    EXPECT_NE(Wildcard(L"ABC*.*").Prefix(), nullptr);
}
