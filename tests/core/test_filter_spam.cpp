// Spam tables and score: entry splitting, counting against a plain search, percentages.
#include "app_fixture.h"
#include "filter/spam_scorer.h"
#include "filter/spam_tables.h"

#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace {
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

// Split at the last ">", the degree read like atoi; no ">": skipped.
TEST(SpamTables, BuildSplitsEntriesSkipsUnsplittableAndSumsDegrees) {
    CAppFixture f;
    CFilterApp& a = *f.app;
    a.SpamWordList.Set({"cheap>3", "broken", "a>b>7", "x>-3", "free> 12abc", "y>", ">4"});
    a.BuildSpamWordTables();
    EXPECT_EQ(a.SpamExpressionList,
              (std::vector<std::string>{"cheap", "a>b", "x", "free", "y", ""}));
    EXPECT_EQ(a.SpamDegreeList, (std::vector<int>{3, 7, -3, 12, 0, 4}));
    EXPECT_EQ(a.SpamDegreeTotal, 23);
    // Built once; later list changes reach the tables only with a new build.
    a.SpamWordList.Set({"y>2147483647", "z>2147483647"});
    EXPECT_EQ(a.SpamExpressionList.size(), 6u);
    a.BuildSpamWordTables();
    EXPECT_EQ(a.SpamExpressionList, (std::vector<std::string>{"y", "z"}));
    EXPECT_EQ(a.SpamDegreeTotal, 2147483647); // saturates
}

// Against searching each expression from 0, resumed behind each match; a tiny
// alphabet makes overlaps common.
TEST(SpamScorer, CountsMatchSearchingEachExpressionAlone) {
    std::mt19937 random(20030918);
    auto word = [&](size_t maxLength) {
        std::string s(random() % (maxLength + 1), 'a');
        for (char& c : s)
            c = "ab>"[random() % 3];
        return s;
    };
    for (int round = 0; round < 400; ++round) {
        std::vector<std::string> expressions(random() % 8);
        for (std::string& e : expressions)
            e = word(5);
        if (round % 5 == 0 && !expressions.empty())
            expressions.push_back(expressions.front()); // duplicates count separately
        const std::string text = word(200);
        const auto counts = CSpamScorer(expressions, std::vector<int>(expressions.size(), 1))
                                .CountOccurrences(text);
        ASSERT_EQ(counts.size(), expressions.size());
        for (size_t k = 0; k < expressions.size(); ++k) {
            const std::string& e = expressions[k];
            uint64_t n = 0;
            for (size_t at = text.find(e); !e.empty() && at != std::string::npos;
                 at = text.find(e, at + e.size()))
                ++n;
            ASSERT_EQ(counts[k], n) << "'" << e << "' in '" << text << "'";
        }
    }
}

// Body hits add the degree, subject ones double; sums saturate; exact percentages.
TEST(SpamScorer, ScoreSaturatesAndPercentageComparesExactly) {
    CSpamScorer scorer({"A", "B", "", "aa"}, {5, 5, 100, 1});
    EXPECT_EQ(scorer.Score("xAx", "") + scorer.Score("AB", ""), 5 + 10);
    EXPECT_EQ(scorer.Score("", "A A"), 2 * 5 + 4 * 5);
    EXPECT_EQ(scorer.Score("A", "B"), 5 + 10);
    EXPECT_EQ(scorer.Score("aaa", "aaaa"), 1 + 2 + 4); // no overlapping occurrences
    // 2 + 4 + ... + 2^40: beyond 32 bits, exact in 64.
    EXPECT_EQ(CSpamScorer({"A"}, {1}).Score("", std::string(40, 'A')), (int64_t{1} << 41) - 2);
    EXPECT_EQ(CSpamScorer({"A"}, {3}).Score("", std::string(70, 'A')), kMax);
    EXPECT_EQ(CSpamScorer({"A"}, {-3}).Score("", std::string(70, 'A')),
              std::numeric_limits<int64_t>::min());
    EXPECT_EQ(SubjectContribution(std::numeric_limits<int>::max(), 62), kMax);
    EXPECT_EQ(BodyContribution(std::numeric_limits<int>::max(), UINT64_MAX), kMax);
    EXPECT_EQ(SaturatingAdd(kMax, 1), kMax);
    struct {
        int64_t Score, Total;
        int Threshold;
        bool Fires;
    } cases[] = {{6, 10, 60, true},     {5, 10, 60, false},  {3, 5, 60, true},
                 {199, 333, 60, false}, {10, 10, 100, true}, {100, 0, 20, false},
                 {100, -7, 20, false},  {-5, 10, 20, false}, {kMax, 2147483647, 100, true}};
    for (const auto& c : cases)
        EXPECT_EQ(SpamPercentageReaches(c.Score, c.Total, c.Threshold), c.Fires)
            << c.Score << "/" << c.Total << " at " << c.Threshold;
}
} // namespace
