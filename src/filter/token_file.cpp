// The token file: what the learned score keeps between runs, read and
// written whole.
#include "filter/token_classifier.h"

#include "platform/text_file.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <string_view>

namespace {

constexpr std::string_view kMagic = "Drossgate learned tokens 1";
constexpr size_t kMaxFileBytes = size_t{64} << 20; // far over what kMaxTokens writes

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

void SetError(std::string* error, const char* text) {
    if (error)
        *error = text;
}

} // namespace

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
