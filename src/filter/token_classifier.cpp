#include "filter/token_classifier.h"

#include "filter/mail_decoder.h"
#include "platform/digest.h"
#include "platform/text_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <string_view>

namespace {

// Keys are stored on a line of their own, separated by a space: one with
// white space, control bytes or of unusual length is kept as its hash.
std::string StoredKey(const std::string& key) {
    bool plain = key.size() <= CTokenClassifier::kMaxKeyBytes;
    for (size_t i = 0; plain && i < key.size(); ++i)
        plain = static_cast<unsigned char>(key[i]) > ' ' && key[i] != 0x7f;
    if (plain)
        return key;
    return "#" + TextDigest(key);
}

uint32_t Saturated(uint32_t v) {
    return v == std::numeric_limits<uint32_t>::max() ? v : v + 1;
}
uint32_t Lowered(uint32_t v) {
    return v == 0 ? 0 : v - 1;
}

constexpr double kStrength = 1.0;     // s: weight of the assumed probability
constexpr double kAssumed = 0.5;      // x: a token's probability before any evidence
constexpr double kMinDeviation = 0.1; // tokens closer to 0.5 than this are ignored
constexpr size_t kMaxClues = 150;     // the most extreme tokens are used
constexpr double kMinProb = 0.0001, kMaxProb = 0.9999;

// Probability that a chi-square variable with `freedom` (even) degrees of
// freedom is at least `chi2`: the Poisson tail e^-m (1 + m + m^2/2! + ...),
// summed scaled down whenever it grows large and multiplied by e^-m in log
// space at the end, so that nothing under- or overflows on the way.
double ChiSquareTail(double chi2, size_t freedom) {
    const double m = chi2 / 2.0;
    if (!(m > 0.0))
        return 1.0;
    if (m > 1e6) // far beyond what clamped probabilities give; the tail is 0
        return 0.0;
    constexpr double kScale = 1e-200;
    const double logScale = std::log(1e200);
    double term = 1.0, sum = 1.0, scaled = 0.0;
    for (size_t i = 1; i < freedom / 2; ++i) {
        term *= m / static_cast<double>(i);
        sum += term;
        if (sum > 1e200) {
            sum *= kScale;
            term *= kScale;
            scaled += logScale;
        }
    }
    return std::clamp(std::exp(std::log(sum) + scaled - m), 0.0, 1.0);
}

} // namespace

double CTokenClassifier::Score(const std::vector<uint64_t>& tokens) const {
    std::shared_lock guard(lock_);
    if (tokens_.empty())
        return 0.5;
    std::vector<double> clues;
    constexpr size_t kAhead = 8;
    for (size_t i = 0; i < tokens.size() && i < kAhead; ++i)
        tokens_.Prefetch(tokens[i]);
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (i + kAhead < tokens.size())
            tokens_.Prefetch(tokens[i + kAhead]);
        const Counts* found = tokens_.Find(tokens[i]);
        if (!found)
            continue;
        const Counts& c = *found;
        // Per-class rates, so that learning more of one kind does not tilt every token.
        const double spamRate =
            spamMails_ ? std::min(1.0, static_cast<double>(c.Spam) / spamMails_) : 0.0;
        const double hamRate =
            hamMails_ ? std::min(1.0, static_cast<double>(c.Ham) / hamMails_) : 0.0;
        if (spamRate + hamRate <= 0.0)
            continue;
        const double p = spamRate / (spamRate + hamRate);
        const double n = static_cast<double>(c.Spam) + static_cast<double>(c.Ham);
        const double f = (kStrength * kAssumed + n * p) / (kStrength + n);
        if (std::abs(f - 0.5) >= kMinDeviation)
            clues.push_back(std::clamp(f, kMinProb, kMaxProb));
    }
    guard.unlock();
    if (clues.empty())
        return 0.5;
    if (clues.size() > kMaxClues) {
        const auto extreme = [](double a, double b) {
            return std::abs(a - 0.5) > std::abs(b - 0.5);
        };
        std::nth_element(clues.begin(), clues.begin() + kMaxClues, clues.end(), extreme);
        clues.resize(kMaxClues);
    }
    double logSpam = 0.0, logHam = 0.0;
    for (const double f : clues) {
        logSpam += std::log(f);
        logHam += std::log(1.0 - f);
    }
    const double hamIndication = ChiSquareTail(-2.0 * logSpam, 2 * clues.size());
    const double spamIndication = ChiSquareTail(-2.0 * logHam, 2 * clues.size());
    return std::clamp((1.0 + hamIndication - spamIndication) / 2.0, 0.0, 1.0);
}

SpamGuess CTokenClassifier::Guess(double score) const {
    if (!Trained())
        return SpamGuess::NotSure;
    if (score >= kSpamCutoff)
        return SpamGuess::ProbablySpam;
    if (score <= kHamCutoff)
        return SpamGuess::ProbablyNotSpam;
    return SpamGuess::NotSure;
}

bool CTokenClassifier::Trained() const {
    std::shared_lock guard(lock_);
    return spamMails_ >= kMinMailsEachKind && hamMails_ >= kMinMailsEachKind;
}

bool CTokenClassifier::Learn(const std::vector<uint64_t>& tokens, bool spam,
                             const std::string& key) {
    // Each token once per mail, whatever the caller handed over.
    std::vector<uint64_t> distinct;
    const std::vector<uint64_t>* use = &tokens;
    if (!std::is_sorted(tokens.begin(), tokens.end()) ||
        std::adjacent_find(tokens.begin(), tokens.end()) != tokens.end()) {
        distinct = tokens;
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        use = &distinct;
    }
    const std::string stored = key.empty() ? std::string() : StoredKey(key);

    std::unique_lock guard(lock_);
    if (!stored.empty()) {
        const auto found = learnedKeys_.find(stored);
        if (found != learnedKeys_.end()) {
            if (found->second == spam)
                return false;
            // The user changed their mind: take it out of the other kind first.
            for (const uint64_t token : *use) {
                Counts* entry = tokens_.Find(token);
                if (!entry)
                    continue;
                uint32_t& count = spam ? entry->Ham : entry->Spam;
                count = Lowered(count);
                if (entry->Spam == 0 && entry->Ham == 0)
                    tokens_.Erase(token);
            }
            uint32_t& mails = spam ? hamMails_ : spamMails_;
            mails = Lowered(mails);
            found->second = spam;
        } else {
            learnedKeys_.emplace(stored, spam);
            keyOrder_.push_back(stored);
            while (keyOrder_.size() > kMaxKeys) {
                learnedKeys_.erase(keyOrder_.front());
                keyOrder_.pop_front();
            }
        }
    }
    for (const uint64_t token : *use) {
        Counts& c = tokens_[token];
        uint32_t& count = spam ? c.Spam : c.Ham;
        count = Saturated(count);
    }
    uint32_t& mails = spam ? spamMails_ : hamMails_;
    mails = Saturated(mails);
    changed_ = true;
    ++generation_;
    return true;
}

uint32_t CTokenClassifier::SpamMails() const {
    std::shared_lock guard(lock_);
    return spamMails_;
}

uint32_t CTokenClassifier::HamMails() const {
    std::shared_lock guard(lock_);
    return hamMails_;
}

size_t CTokenClassifier::TokenCount() const {
    std::shared_lock guard(lock_);
    return tokens_.size();
}

bool CTokenClassifier::Changed() const {
    std::shared_lock guard(lock_);
    return changed_;
}
