#pragma once
// The spam-expression score of one message: every expression counted in the
// body (each occurrence adds its degree) and in the subject (the k-th
// occurrence adds 2^k times its degree), occurrences of one expression never
// overlapping. One automaton finds all expressions in a single pass over a
// text, with the same counts as searching for each expression on its own.
// Scores are 64-bit and saturate instead of overflowing. With `foldCase`, ASCII
// letters match whatever their case, in the expressions and in the text.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CSpamScorer {
  public:
    CSpamScorer(std::vector<std::string> expressions, std::vector<int> degrees,
                bool foldCase = false);
    ~CSpamScorer();
    CSpamScorer(const CSpamScorer&) = delete;
    CSpamScorer& operator=(const CSpamScorer&) = delete;

    int64_t Score(std::string_view body, std::string_view subject) const;
    // Non-overlapping occurrence count of every expression (empty ones: 0),
    // in list order.
    std::vector<uint64_t> CountOccurrences(std::string_view text) const;

    const std::vector<std::string>& Expressions() const { return expressions_; }
    const std::vector<int>& Degrees() const { return degrees_; }
    bool FoldsCase() const { return foldCase_; }

  private:
    struct Automaton;
    std::vector<std::string> expressions_;
    std::vector<int> degrees_;
    bool foldCase_ = false;
    std::vector<std::string> searched_;    // the expressions as matched (folded with foldCase_)
    std::unique_ptr<Automaton> automaton_; // null: too large, plain searches instead
};

// Score arithmetic, saturating at the 64-bit limits.
int64_t SaturatingAdd(int64_t a, int64_t b);
// degree x count, the body pass's contribution.
int64_t BodyContribution(int degree, uint64_t count);
// degree x (2 + 4 + ... + 2^count), the subject pass's contribution.
int64_t SubjectContribution(int degree, uint64_t count);

// score x 100 / total >= threshold, exactly. A total of 0 or below never
// reaches any threshold.
bool SpamPercentageReaches(int64_t score, int64_t total, int threshold);
