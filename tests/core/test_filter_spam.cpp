// Spam tables and the spam score: splitting entries, the table build, the
// score's counting rules against a plain reference, exact percentages.
#include "app_fixture.h"
#include "filter/spam_scorer.h"
#include "filter/spam_tables.h"

#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace {
struct SplitCase {
    std::string Entry;
    int Result;
    std::string Expression, DegreeText;
    int Degree;
};

class SpamEntrySplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SpamEntrySplit, SplitsAtTheLastMark) {
    const SplitCase& c = GetParam();
    SpamEntryParts parts;
    ASSERT_EQ(SplitSpamEntry(c.Entry, parts), c.Result);
    if (c.Result != 1)
        return;
    EXPECT_EQ(parts.Expression, c.Expression);
    EXPECT_EQ(parts.DegreeText, c.DegreeText);
    EXPECT_EQ(parts.Degree, c.Degree);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, SpamEntrySplit,
    ::testing::Values(SplitCase{"a>b>7", 1, "a>b", "7", 7},
                      SplitCase{"offer>05", 1, "offer", "05", 5},
                      SplitCase{"x>-3", 1, "x", "-3", -3},
                      SplitCase{"free> 12abc", 1, "free", " 12abc", 12},
                      SplitCase{"y>", 1, "y", "", 0}, SplitCase{">4", 1, "", "4", 4},
                      SplitCase{"big>99999999999", 1, "big", "99999999999", 2147483647},
                      SplitCase{"no mark", -1, "", "", 0}));

TEST(SpamTables, BuildSkipsUnsplittableEntriesAndSumsDegrees) {
    CAppFixture f;
    f.app->SpamWordList.Set({"cheap>3", "broken", "a>b>7", "x>-3"});
    f.app->BuildSpamWordTables();
    EXPECT_EQ(f.app->SpamExpressionList, (std::vector<std::string>{"cheap", "a>b", "x"}));
    EXPECT_EQ(f.app->SpamDegreeList, (std::vector<int>{3, 7, -3}));
    EXPECT_EQ(f.app->SpamDegreeTotal, 7);
    // Built once; later list changes reach the tables only with a new build.
    f.app->SpamWordList.Set({});
    EXPECT_EQ(f.app->SpamExpressionList.size(), 3u);
    f.app->BuildSpamWordTables();
    EXPECT_TRUE(f.app->SpamExpressionList.empty());
    EXPECT_EQ(f.app->SpamDegreeTotal, 0);
}

// The plain rule: search each expression from 0, resume behind each match.
uint64_t ReferenceCount(const std::string& text, const std::string& e) {
    uint64_t n = 0;
    if (e.empty())
        return 0;
    for (size_t at = text.find(e); at != std::string::npos; at = text.find(e, at + e.size()))
        ++n;
    return n;
}

TEST(SpamScorer, CountsMatchSearchingEachExpressionAlone) {
    // A tiny alphabet makes overlaps, shared prefixes and suffixes common.
    std::mt19937 random(20030918);
    auto word = [&](size_t maxLength) {
        std::string s(random() % (maxLength + 1), 'a');
        for (char& c : s)
            c = "ab>"[random() % 3];
        return s;
    };
    for (int round = 0; round < 400; ++round) {
        std::vector<std::string> expressions;
        for (size_t k = random() % 8; k > 0; --k)
            expressions.push_back(word(5));
        if (round % 5 == 0 && !expressions.empty())
            expressions.push_back(expressions.front()); // duplicates count separately
        const std::string text = word(200);
        CSpamScorer scorer(expressions, std::vector<int>(expressions.size(), 1));
        const std::vector<uint64_t> counts = scorer.CountOccurrences(text);
        ASSERT_EQ(counts.size(), expressions.size());
        for (size_t k = 0; k < expressions.size(); ++k)
            ASSERT_EQ(counts[k], ReferenceCount(text, expressions[k]))
                << "expression '" << expressions[k] << "' in '" << text << "'";
    }
}

TEST(SpamScorer, BodyAddsDegreeSubjectDoublesPerOccurrence) {
    CSpamScorer scorer({"A", "B", "", "aa"}, {5, 5, 100, 1});
    EXPECT_EQ(scorer.Score("xAx", ""), 5);
    EXPECT_EQ(scorer.Score("AB", ""), 10);
    EXPECT_EQ(scorer.Score("", "A A"), 2 * 5 + 4 * 5);
    EXPECT_EQ(scorer.Score("A", "B"), 5 + 10);
    EXPECT_EQ(scorer.Score("aaa", "aaaa"), 1 + 2 + 4); // no overlapping occurrences
    EXPECT_EQ(scorer.Score("", ""), 0);
}

TEST(SpamScorer, ScoreSaturatesInsteadOfOverflowing) {
    const std::string forty(40, 'A');
    CSpamScorer scorer({"A"}, {1});
    // 2 + 4 + ... + 2^40: beyond 32 bits, exact in 64.
    EXPECT_EQ(scorer.Score("", forty), (int64_t{1} << 41) - 2);
    EXPECT_TRUE(
        SpamPercentageReaches(scorer.Score("", forty), std::numeric_limits<int>::max(), 100));
    const int64_t max = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(CSpamScorer({"A"}, {3}).Score("", std::string(70, 'A')), max);
    EXPECT_EQ(CSpamScorer({"A"}, {-3}).Score("", std::string(70, 'A')),
              std::numeric_limits<int64_t>::min());
    EXPECT_EQ(SubjectContribution(std::numeric_limits<int>::max(), 62), max);
    EXPECT_EQ(BodyContribution(std::numeric_limits<int>::max(), UINT64_MAX), max);
    EXPECT_EQ(SaturatingAdd(max, 1), max);
}

struct PercentCase {
    int64_t Score, Total;
    int Threshold;
    bool Fires;
};

class SpamPercentage : public ::testing::TestWithParam<PercentCase> {};

TEST_P(SpamPercentage, ComparesExactly) {
    const PercentCase& c = GetParam();
    EXPECT_EQ(SpamPercentageReaches(c.Score, c.Total, c.Threshold), c.Fires);
}

INSTANTIATE_TEST_SUITE_P(
    Thresholds, SpamPercentage,
    ::testing::Values(PercentCase{6, 10, 60, true}, PercentCase{5, 10, 60, false},
                      PercentCase{3, 5, 60, true}, PercentCase{199, 333, 60, false},
                      PercentCase{10, 10, 100, true}, PercentCase{100, 0, 20, false},
                      PercentCase{100, -7, 20, false}, PercentCase{-5, 10, 20, false},
                      PercentCase{std::numeric_limits<int64_t>::max(), 2147483647, 100, true}));
} // namespace
