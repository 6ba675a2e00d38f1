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

// ---- Tokens ----------------------------------------------------------------

constexpr size_t kMaxMailTokens = 2000; // distinct tokens of one mail; the first ones win
constexpr size_t kMinWord = 3, kMaxWord = 40, kLongPrefix = 10;
constexpr size_t kMaxHost = 253;

// The prefixes that keep tokens of different places apart, as hash seeds.
constexpr uint64_t Seed(std::string_view prefix) {
    uint64_t h = 14695981039346656037ull; // FNV-1a
    for (char c : prefix)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return h;
}
constexpr uint64_t kTextWords = Seed("");
constexpr uint64_t kSubjectWords = Seed("s:");
constexpr uint64_t kUrlHost = Seed("u:");
constexpr uint64_t kNumber = Seed("n:");
constexpr uint64_t kLongWord = Seed("long:");
constexpr uint64_t kSenderAddress = Seed("f:");
constexpr uint64_t kSenderDomain = Seed("d:");

// Eight bytes with their ASCII capitals made small, all at once.
inline uint64_t Lowered8(uint64_t w) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    const uint64_t low7 = w & (0x7f * kOnes);
    const uint64_t atLeastA = low7 + (0x80 - 'A') * kOnes;
    const uint64_t overZ = low7 + (0x80 - 'Z' - 1) * kOnes;
    const uint64_t capital = (atLeastA ^ overZ) & ~w & (0x80 * kOnes);
    return w | capital >> 2;
}

inline uint64_t Mixed(uint64_t h) {
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebull;
    h ^= h >> 31;
    return h;
}

// A token: the bytes, ASCII case folded, eight at a time through a
// multiply-xorshift, finished by the splitmix64 mixer. Never 0 (a free slot).
// `readable`: bytes that may be read from bytes.data(), at least its size;
// with 8 or more the last piece is read whole and masked, which spares a
// stall on a copy just written.
uint64_t TokenHash(uint64_t seed, std::string_view bytes, size_t readable) {
    uint64_t h = seed ^ (bytes.size() * 0x9e3779b97f4a7c15ull);
    const char* p = bytes.data();
    size_t n = bytes.size();
    for (; n >= 8; p += 8, n -= 8, readable -= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ Lowered8(w)) * 0xff51afd7ed558ccdull;
        h ^= h >> 32;
    }
    if (n > 0) {
        uint64_t w = 0;
        if (readable >= 8) {
            std::memcpy(&w, p, 8);
            if constexpr (std::endian::native == std::endian::little)
                w &= ~uint64_t{0} >> (64 - 8 * n);
            else
                w &= ~uint64_t{0} << (64 - 8 * n);
        } else {
            std::memcpy(&w, p, n);
        }
        h = (h ^ Lowered8(w)) * 0xff51afd7ed558ccdull;
    }
    h = Mixed(h);
    return h == 0 ? 1 : h;
}

enum : uint8_t { kBreak = 0, kLetter = 1, kDigit = 2, kJoin = 3, kHigh = 4 };

// Letters, '$' and '!' are word bytes; so are digits and the bytes of
// multibyte characters, which need a second look.
constexpr std::array<uint8_t, 256> kByteClass = [] {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        if (c >= '0' && c <= '9')
            t[c] = kDigit;
        else if (c >= 0x80)
            t[c] = kHigh;
        else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '$' || c == '!')
            t[c] = kLetter;
        else if (c == '-' || c == '\'' || c == '.')
            t[c] = kJoin;
    }
    return t;
}();

inline uint8_t ClassOf(char c) {
    return kByteClass[static_cast<unsigned char>(c)];
}
inline bool IsWordByte(char c) {
    const uint8_t k = ClassOf(c);
    return k == kLetter || k == kDigit || k == kHigh;
}

// Bytes of a UTF-8 space or punctuation mark at `at` (no-break space, the
// general punctuation block: dashes, curly quotes, ellipsis), else 0. They
// separate words like their ASCII cousins.
inline size_t Utf8BreakAt(std::string_view text, size_t at) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    if (b(at) == 0xC2 && at + 1 < text.size() && b(at + 1) == 0xA0)
        return 2;
    if (b(at) == 0xE2 && at + 2 < text.size() && (b(at + 1) == 0x80 || b(at + 1) == 0x81))
        return 3;
    return 0;
}

// The distinct hashes of one mail, the first kMaxMailTokens found. Slots
// are chosen by the top bits of a hash, so the table read in slot order is
// sorted but for the few entries a collision moved on: an insertion sort
// finishes it in about linear time.
class CTokenSet {
  public:
    bool Full() const { return count_ >= kMaxMailTokens; }
    void Add(uint64_t prefix, std::string_view bytes, size_t readable = 0) {
        if (Full())
            return;
        const uint64_t h = TokenHash(prefix, bytes, std::max(readable, bytes.size()));
        for (size_t i = static_cast<size_t>(h >> (64 - kSlotBits));; i = (i + 1) & kMask) {
            if (slots_[i] == h)
                return;
            if (slots_[i] == 0) {
                slots_[i] = h;
                ++count_;
                return;
            }
        }
    }
    std::vector<uint64_t> Take() const {
        std::vector<uint64_t> sorted;
        sorted.reserve(count_);
        for (const uint64_t h : slots_)
            if (h != 0)
                sorted.push_back(h);
        for (size_t i = 1; i < sorted.size(); ++i) {
            const uint64_t h = sorted[i];
            size_t j = i;
            for (; j > 0 && sorted[j - 1] > h; --j)
                sorted[j] = sorted[j - 1];
            sorted[j] = h;
        }
        return sorted;
    }

  private:
    static constexpr int kSlotBits = 12; // 4096 slots: over twice kMaxMailTokens
    static constexpr size_t kMask = (size_t{1} << kSlotBits) - 1;
    std::array<uint64_t, size_t{1} << kSlotBits> slots_{};
    size_t count_ = 0;
};

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view lower) {
    if (text.size() - at < lower.size())
        return false;
    for (size_t i = 0; i < lower.size(); ++i) {
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c | 0x20);
        if (c != lower[i])
            return false;
    }
    return true;
}

// At a word starting "http://", "https://" or "www.": adds the host (and,
// for a longer one, its last two labels, the part a spammer cannot vary
// cheaply). Returns where word scanning goes on: after the scheme, so the
// host's words count as well.
size_t AddUrlHost(std::string_view text, size_t at, CTokenSet& tokens) {
    size_t host;
    if (StartsWithNoCase(text, at, "http://"))
        host = at + 7;
    else if (StartsWithNoCase(text, at, "https://"))
        host = at + 8;
    else if (StartsWithNoCase(text, at, "www."))
        host = at;
    else
        return at;
    const auto hostEnd = [&](size_t from) {
        size_t end = from;
        while (end < text.size() && end - from < kMaxHost &&
               (IsWordByte(text[end]) || text[end] == '-' || text[end] == '.') &&
               text[end] != '$' && text[end] != '!')
            ++end;
        return end;
    };
    size_t end = hostEnd(host);
    if (host != at && end < text.size() && text[end] == '@') // user@host: the part after
        end = hostEnd(host = end + 1);
    std::string_view name = text.substr(host, end - host);
    while (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    const size_t lastDot = name.rfind('.');
    if (name.size() >= 3 && lastDot != std::string_view::npos && lastDot > 0) {
        tokens.Add(kUrlHost, name);
        const size_t secondDot = name.rfind('.', lastDot - 1);
        if (secondDot != std::string_view::npos)
            tokens.Add(kUrlHost, name.substr(secondDot + 1));
    }
    return host;
}

// Words: runs of letters, digits, bytes of multibyte characters, '$' and
// '!', joined by single inner '-', '\'' or '.' ("e-mail", "don't", "v1.2").
void AddWords(std::string_view text, uint64_t prefix, CTokenSet& tokens) {
    const size_t n = std::min(text.size(), kMaxDecodedText);
    size_t i = 0;
    while (i < n && !tokens.Full()) {
        const uint8_t k = ClassOf(text[i]);
        if (k == kBreak || k == kJoin) {
            ++i;
            continue;
        }
        if (k == kHigh) {
            if (const size_t skip = Utf8BreakAt(text, i)) {
                i += skip;
                continue;
            }
        } else if (const char first = static_cast<char>(text[i] | 0x20);
                   first == 'h' || first == 'w') {
            const size_t next = AddUrlHost(text, i, tokens);
            if (next != i) {
                i = next;
                continue;
            }
        }
        const size_t start = i;
        bool number = true;
        for (; i < n; ++i) {
            const uint8_t c = ClassOf(text[i]);
            if (c == kLetter) {
                number = false;
            } else if (c == kDigit) {
            } else if (c == kHigh) {
                if (Utf8BreakAt(text, i))
                    break;
                number = false;
            } else if (c != kJoin || i + 1 >= n || !IsWordByte(text[i + 1])) {
                break;
            }
        }
        const std::string_view word = text.substr(start, i - start);
        if (word.size() < kMinWord)
            continue;
        if (number) { // numbers by their length only: prices and dates vary too much
            const char length = static_cast<char>('0' + std::min<size_t>(word.size(), 12));
            tokens.Add(kNumber, std::string_view(&length, 1));
        } else if (word.size() > kMaxWord) {
            tokens.Add(kLongWord, word.substr(0, kLongPrefix), text.size() - start);
        } else {
            tokens.Add(prefix, word, text.size() - start);
        }
    }
}

// ---- Scores ----------------------------------------------------------------

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

// ---- The file --------------------------------------------------------------

constexpr std::string_view kMagic = "Drossgate learned tokens 1";
constexpr size_t kMaxFileBytes = size_t{64} << 20; // far over what kMaxTokens writes
constexpr size_t kMaxKeyBytes = 100;

// Keys are stored on a line of their own, separated by a space: one with
// white space, control bytes or of unusual length is kept as its hash.
std::string StoredKey(const std::string& key) {
    bool plain = key.size() <= kMaxKeyBytes;
    for (size_t i = 0; plain && i < key.size(); ++i)
        plain = static_cast<unsigned char>(key[i]) > ' ' && key[i] != 0x7f;
    if (plain)
        return key;
    return "#" + TextDigest(key);
}

// The next line without its LF (and CR); false at the end or when the last
// line lacks its LF (the file was cut).
bool NextLine(const char*& at, const char* end, std::string_view& line) {
    if (at == end)
        return false;
    const char* lf = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
    if (!lf)
        return false;
    const char* stop = lf > at && lf[-1] == '\r' ? lf - 1 : lf;
    line = std::string_view(at, static_cast<size_t>(stop - at));
    at = lf + 1;
    return true;
}

// A whole unsigned decimal number filling [from, to); leading zeros allowed.
template <typename T> bool ParseNumber(const char* from, const char* to, T& value, int base = 10) {
    if (from == to)
        return false;
    const auto [ptr, ec] = std::from_chars(from, to, value, base);
    return ec == std::errc() && ptr == to;
}

bool ParseTwoCounts(std::string_view text, uint32_t& a, uint32_t& b) {
    const size_t space = text.find(' ');
    return space != std::string_view::npos && ParseNumber(text.data(), text.data() + space, a) &&
           ParseNumber(text.data() + space + 1, text.data() + text.size(), b);
}

void AppendNumber(std::string& out, uint64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

uint32_t Saturated(uint32_t v) {
    return v == std::numeric_limits<uint32_t>::max() ? v : v + 1;
}
uint32_t Lowered(uint32_t v) {
    return v == 0 ? 0 : v - 1;
}

void SetError(std::string* error, const char* text) {
    if (error)
        *error = text;
}

} // namespace

std::vector<uint64_t> MailTokens(const DecodedMail& mail) {
    CTokenSet tokens;
    if (!mail.FromAddress.empty()) {
        const std::string_view address = std::string_view(mail.FromAddress).substr(0, 320);
        tokens.Add(kSenderAddress, address);
        const size_t at = address.rfind('@');
        if (at != std::string_view::npos && at + 1 < address.size())
            tokens.Add(kSenderDomain, address.substr(at + 1));
    }
    AddWords(mail.Subject, kSubjectWords, tokens);
    AddWords(mail.Text, kTextWords, tokens);
    return tokens.Take();
}

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

int CTokenClassifier::Load(const std::string& path, std::string* error) {
    CTokenTable<Counts> tokens;
    std::unordered_map<std::string, bool> keys;
    std::deque<std::string> order;
    uint32_t spamMails = 0, hamMails = 0;

    // Whatever happens, what was held is replaced: by the file or by nothing.
    const auto install = [&](int result) {
        std::unique_lock guard(lock_);
        tokens_.swap(tokens);
        learnedKeys_.swap(keys);
        keyOrder_.swap(order);
        spamMails_ = spamMails;
        hamMails_ = hamMails;
        changed_ = false;
        ++generation_;
        return result;
    };
    const auto damaged = [&](const char* why) {
        tokens.clear();
        keys.clear();
        order.clear();
        spamMails = hamMails = 0;
        SetError(error, why);
        return install(-1);
    };

    std::error_code sizeError;
    const uintmax_t bytes = std::filesystem::file_size(path, sizeError);
    if (!sizeError && bytes > kMaxFileBytes)
        return damaged("the file is too large");
    std::string text;
    if (!sizeError)
        text.reserve(static_cast<size_t>(bytes));
    switch (ReadWholeFile(path, text)) {
    case ReadResult::Missing:
        return install(1);
    case ReadResult::Failed:
        return damaged("the file cannot be read");
    case ReadResult::Ok:
        break;
    }
    if (text.size() > kMaxFileBytes)
        return damaged("the file is too large");

    const char* at = text.data();
    const char* const end = at + text.size();
    std::string_view line;
    if (!NextLine(at, end, line) || line != kMagic)
        return damaged("not a learned tokens file");
    if (!NextLine(at, end, line) || line.substr(0, 6) != "mails " ||
        !ParseTwoCounts(line.substr(6), spamMails, hamMails))
        return damaged("no mail counts");

    bool ended = false, more;
    while ((more = NextLine(at, end, line)) && line.substr(0, 4) == "key ") {
        const size_t space = line.rfind(' ');
        if (space <= 4)
            return damaged("a damaged key line");
        const std::string_view name = line.substr(4, space - 4);
        const std::string_view kind = line.substr(space + 1);
        if (name.size() > kMaxKeyBytes || name.find(' ') != std::string_view::npos ||
            (kind != "s" && kind != "h"))
            return damaged("a damaged key line");
        if (order.size() >= kMaxKeys || !keys.emplace(std::string(name), kind == "s").second)
            return damaged("a repeated or extra key");
        order.emplace_back(name);
    }

    // One line per token follows: the exact count of lines is a cheap bound for the map.
    const size_t lines = static_cast<size_t>(std::count(at, end, '\n')) + 1;
    tokens.reserve(std::min(lines, kMaxTokens));
    for (; more; more = NextLine(at, end, line)) {
        if (line.substr(0, 4) == "end ") {
            size_t count = 0;
            if (!ParseNumber(line.data() + 4, line.data() + line.size(), count) ||
                count != tokens.size() || at != end)
                return damaged("a damaged end line");
            ended = true;
            break;
        }
        uint64_t hash = 0;
        Counts counts;
        if (line.size() < 20 || line[16] != ' ' ||
            !ParseNumber(line.data(), line.data() + 16, hash, 16) ||
            !ParseTwoCounts(line.substr(17), counts.Spam, counts.Ham))
            return damaged("a damaged token line");
        if (counts.Spam > spamMails || counts.Ham > hamMails ||
            counts.Spam + uint64_t{counts.Ham} == 0)
            return damaged("token counts out of range");
        if (tokens.size() >= kMaxTokens || !tokens.Insert(hash, counts).second)
            return damaged("a repeated or extra token");
    }
    if (!ended)
        return damaged("the file is cut short");
    return install(0);
}

void CTokenClassifier::Prune(size_t maxTokens) {
    std::unique_lock guard(lock_);
    if (tokens_.size() <= maxTokens)
        return;
    // The rarest go: a token seen once or twice says little.
    std::vector<std::pair<uint64_t, uint64_t>> byTotal; // (total, token)
    byTotal.reserve(tokens_.size());
    tokens_.ForEach([&](uint64_t token, const Counts& c) {
        byTotal.emplace_back(uint64_t{c.Spam} + c.Ham, token);
    });
    const size_t drop = tokens_.size() - maxTokens;
    std::nth_element(byTotal.begin(), byTotal.begin() + static_cast<ptrdiff_t>(drop),
                     byTotal.end());
    for (size_t i = 0; i < drop; ++i)
        tokens_.Erase(byTotal[i].second);
    changed_ = true;
    ++generation_;
}

int CTokenClassifier::Save(const std::string& path, std::string* error) {
    Prune(kMaxTokens);
    std::string text;
    uint64_t generation;
    {
        std::shared_lock guard(lock_);
        generation = generation_;
        text.reserve(64 + keyOrder_.size() * (kMaxKeyBytes / 2) + tokens_.size() * 28);
        text.append(kMagic);
        text += "\nmails ";
        AppendNumber(text, spamMails_);
        text += ' ';
        AppendNumber(text, hamMails_);
        text += '\n';
        for (const std::string& key : keyOrder_) {
            text += "key ";
            text += key;
            const auto kind = learnedKeys_.find(key);
            text += kind != learnedKeys_.end() && kind->second ? " s\n" : " h\n";
        }
        char hex[17];
        hex[16] = ' ';
        tokens_.ForEach([&](uint64_t token, const Counts& c) {
            for (int i = 0; i < 16; ++i)
                hex[15 - i] = "0123456789abcdef"[(token >> (4 * i)) & 15];
            text.append(hex, 17);
            AppendNumber(text, c.Spam);
            text += ' ';
            AppendNumber(text, c.Ham);
            text += '\n';
        });
        text += "end ";
        AppendNumber(text, tokens_.size());
        text += '\n';
    }

    if (!ReplaceFileAtomically(path, text, 0600)) {
        SetError(error, "the file cannot be written");
        return -1;
    }
    std::unique_lock guard(lock_);
    if (generation_ == generation) // nothing learned while writing
        changed_ = false;
    return 0;
}
