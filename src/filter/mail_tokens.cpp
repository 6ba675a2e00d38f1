#include "filter/mail_tokens.h"

#include "filter/mail_decoder.h"

#include <array>
#include <bit>
#include <cstring>
#include <string_view>

namespace {

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
