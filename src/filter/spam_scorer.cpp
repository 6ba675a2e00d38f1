#include "filter/spam_scorer.h"

#include <array>
#include <limits>
#include <unordered_map>

namespace {
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
// Expression lists beyond this table size are searched one by one instead.
constexpr size_t kMaxTableEntries = size_t{16} << 20;

std::string FoldedCopy(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

int64_t Clamp(__int128 value) {
    if (value > kMax)
        return kMax;
    if (value < kMin)
        return kMin;
    return static_cast<int64_t>(value);
}
} // namespace

int64_t SaturatingAdd(int64_t a, int64_t b) {
    return Clamp(static_cast<__int128>(a) + b);
}

int64_t BodyContribution(int degree, uint64_t count) {
    return Clamp(static_cast<__int128>(degree) * static_cast<__int128>(count));
}

int64_t SubjectContribution(int degree, uint64_t count) {
    if (degree == 0 || count == 0)
        return 0;
    if (count >= 63) // 2^64 - 2 and more: beyond every score
        return degree > 0 ? kMax : kMin;
    __int128 factor = (static_cast<__int128>(1) << (count + 1)) - 2;
    return Clamp(factor * degree);
}

bool SpamPercentageReaches(int64_t score, int64_t total, int threshold) {
    if (total <= 0)
        return false;
    return static_cast<__int128>(score) * 100 >= static_cast<__int128>(threshold) * total;
}

// Aho-Corasick over byte classes (bytes that occur in no expression share
// class 0), turned into a full transition table. Identical expressions
// share one pattern.
struct CSpamScorer::Automaton {
    std::array<uint16_t, 256> classOf{};
    size_t classCount = 1;
    std::vector<int32_t> next;     // node * classCount + class -> node
    std::vector<int32_t> pattern;  // node -> pattern ending here, or -1
    std::vector<int32_t> dictLink; // node -> nearest proper suffix node with a pattern, or -1
    std::vector<size_t> patternLength;
    std::vector<int32_t> patternOfExpression; // -1 for empty expressions

    // Expressions already folded when `foldCase`: an upper-case letter of
    // the text then takes its lower-case letter's class.
    static std::unique_ptr<Automaton> Build(const std::vector<std::string>& expressions,
                                            bool foldCase);
    void Count(std::string_view text, std::vector<uint64_t>& counts) const;
};

std::unique_ptr<CSpamScorer::Automaton>
CSpamScorer::Automaton::Build(const std::vector<std::string>& expressions, bool foldCase) {
    auto a = std::make_unique<Automaton>();
    size_t totalLength = 0;
    for (const auto& e : expressions) {
        totalLength += e.size();
        for (unsigned char c : e)
            if (a->classOf[c] == 0)
                a->classOf[c] = static_cast<uint16_t>(a->classCount++);
    }
    if (foldCase)
        for (int c = 'A'; c <= 'Z'; ++c)
            a->classOf[static_cast<size_t>(c)] = a->classOf[static_cast<size_t>(c - 'A' + 'a')];
    if ((totalLength + 1) * a->classCount > kMaxTableEntries)
        return nullptr;
    const size_t classes = a->classCount;
    auto newNode = [&] {
        a->next.insert(a->next.end(), classes, -1);
        a->pattern.push_back(-1);
        return static_cast<int32_t>(a->pattern.size() - 1);
    };
    newNode();
    std::unordered_map<std::string_view, int32_t> patternIds;
    for (const auto& e : expressions) {
        if (e.empty()) {
            a->patternOfExpression.push_back(-1);
            continue;
        }
        auto [it, fresh] = patternIds.try_emplace(e, static_cast<int32_t>(a->patternLength.size()));
        a->patternOfExpression.push_back(it->second);
        if (!fresh)
            continue;
        a->patternLength.push_back(e.size());
        int32_t node = 0;
        for (unsigned char c : e) {
            size_t slot = static_cast<size_t>(node) * classes + a->classOf[c];
            if (a->next[slot] < 0) {
                int32_t child = newNode();
                a->next[slot] = child;
            }
            node = a->next[slot];
        }
        a->pattern[static_cast<size_t>(node)] = it->second;
    }
    // Breadth first: fail links, dictionary links, then missing transitions
    // filled from the fail node's (already complete) row.
    const size_t nodes = a->pattern.size();
    std::vector<int32_t> fail(nodes, 0);
    a->dictLink.assign(nodes, -1);
    std::vector<int32_t> queue;
    queue.reserve(nodes);
    for (size_t c = 0; c < classes; ++c) {
        int32_t& child = a->next[c];
        if (child < 0) {
            child = 0;
        } else {
            queue.push_back(child);
        }
    }
    for (size_t head = 0; head < queue.size(); ++head) {
        const auto node = static_cast<size_t>(queue[head]);
        const auto f = static_cast<size_t>(fail[node]);
        a->dictLink[node] = a->pattern[f] >= 0 ? static_cast<int32_t>(f) : a->dictLink[f];
        for (size_t c = 0; c < classes; ++c) {
            int32_t& child = a->next[node * classes + c];
            const int32_t viaFail = a->next[f * classes + c];
            if (child < 0) {
                child = viaFail;
            } else {
                fail[static_cast<size_t>(child)] = viaFail;
                queue.push_back(child);
            }
        }
    }
    return a;
}

// Occurrences end in increasing position; one of a pattern counts when it
// starts at or after the end of the last counted one, which is what a
// search that resumes behind each match finds.
void CSpamScorer::Automaton::Count(std::string_view text, std::vector<uint64_t>& counts) const {
    counts.assign(patternLength.size(), 0);
    std::vector<size_t> resumeAt(patternLength.size(), 0);
    size_t state = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        state = static_cast<size_t>(
            next[state * classCount + classOf[static_cast<unsigned char>(text[i])]]);
        int32_t hit = pattern[state] >= 0 ? static_cast<int32_t>(state) : dictLink[state];
        while (hit >= 0) {
            const auto p = static_cast<size_t>(pattern[static_cast<size_t>(hit)]);
            const size_t start = i + 1 - patternLength[p];
            if (start >= resumeAt[p]) {
                ++counts[p];
                resumeAt[p] = i + 1;
            }
            hit = dictLink[static_cast<size_t>(hit)];
        }
    }
}

CSpamScorer::CSpamScorer(std::vector<std::string> expressions, std::vector<int> degrees,
                         bool foldCase)
    : expressions_(std::move(expressions)), degrees_(std::move(degrees)), foldCase_(foldCase) {
    searched_ = expressions_;
    if (foldCase_)
        for (std::string& e : searched_)
            e = FoldedCopy(e);
    automaton_ = Automaton::Build(searched_, foldCase_);
}

CSpamScorer::~CSpamScorer() = default;

std::vector<uint64_t> CSpamScorer::CountOccurrences(std::string_view text) const {
    std::vector<uint64_t> result(expressions_.size(), 0);
    if (automaton_) {
        std::vector<uint64_t> perPattern;
        automaton_->Count(text, perPattern);
        for (size_t k = 0; k < expressions_.size(); ++k) {
            int32_t p = automaton_->patternOfExpression[k];
            if (p >= 0)
                result[k] = perPattern[static_cast<size_t>(p)];
        }
        return result;
    }
    const std::string folded = foldCase_ ? FoldedCopy(text) : std::string();
    if (foldCase_)
        text = folded;
    for (size_t k = 0; k < searched_.size(); ++k) {
        const std::string& e = searched_[k];
        if (e.empty())
            continue;
        for (size_t at = text.find(e); at != std::string_view::npos;
             at = text.find(e, at + e.size()))
            ++result[k];
    }
    return result;
}

int64_t CSpamScorer::Score(std::string_view body, std::string_view subject) const {
    auto degree = [&](size_t k) { return k < degrees_.size() ? degrees_[k] : 0; };
    int64_t score = 0;
    const std::vector<uint64_t> inBody = CountOccurrences(body);
    for (size_t k = 0; k < inBody.size(); ++k)
        score = SaturatingAdd(score, BodyContribution(degree(k), inBody[k]));
    const std::vector<uint64_t> inSubject = CountOccurrences(subject);
    for (size_t k = 0; k < inSubject.size(); ++k)
        score = SaturatingAdd(score, SubjectContribution(degree(k), inSubject[k]));
    return score;
}
