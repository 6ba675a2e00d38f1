#include "mail/reply_parser.h"

#include <algorithm>
#include <cctype>

namespace {

std::string_view WithoutLineEnd(std::string_view line) {
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// The next blank-separated word of `text` from `pos` on; moves `pos` past it.
std::string_view NextWord(std::string_view text, size_t& pos) {
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    size_t start = pos;
    while (pos < text.size() && text[pos] != ' ')
        ++pos;
    return text.substr(start, pos - start);
}

bool IsAllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

} // namespace

size_t CStatusLineCollector::Feed(std::string_view chunk) {
    if (state_ != CollectState::NeedMore)
        return 0;
    size_t newline = chunk.find('\n');
    size_t take = newline == std::string_view::npos ? chunk.size() : newline + 1;
    if (text_.size() + take > maxLine_) {
        state_ = CollectState::TooLarge;
        return take;
    }
    text_.append(chunk.substr(0, take));
    if (newline != std::string_view::npos)
        state_ = CollectState::Complete;
    return take;
}

Pop3Status ClassifyPop3Status(std::string_view line) {
    line = WithoutLineEnd(line);
    for (auto [word, status] : {std::pair{std::string_view("+OK"), Pop3Status::Positive},
                                std::pair{std::string_view("-ERR"), Pop3Status::Negative}})
        if (line.starts_with(word) && (line.size() == word.size() || line[word.size()] == ' '))
            return status;
    return Pop3Status::Invalid;
}

long FindPop3MessageEnd(std::string_view text) {
    size_t pos = text.find("\r\n.\r\n");
    return pos == std::string_view::npos ? -1 : static_cast<long>(pos);
}

long long Pop3MessageOctets(std::string_view reply) {
    size_t start = reply.find('\n');
    if (start == std::string_view::npos || !reply.ends_with("\r\n.\r\n") ||
        reply.size() < start + 4)
        return -1;
    // The status line's CR LF may be the first half of the end marker.
    std::string_view body = reply.substr(start + 1, reply.size() - start - 4);
    long long octets = 0;
    bool lineStart = true;
    for (size_t i = 0; i < body.size(); ++i) {
        if (lineStart && body[i] == '.') {
            lineStart = false; // the stuffed dot is not the server's
            continue;
        }
        lineStart = body[i] == '\n';
        octets += lineStart && (i == 0 || body[i - 1] != '\r') ? 2 : 1;
    }
    return octets;
}

long long ParseRetrOctets(std::string_view statusLine) {
    std::string_view line = WithoutLineEnd(statusLine);
    size_t pos = 3;
    if (!line.starts_with("+OK "))
        return -1;
    std::string_view number = NextWord(line, pos);
    std::string_view unit = NextWord(line, pos);
    if (!IsAllDigits(number) || number.size() > 15 || !EqualsNoCase(unit, "octets"))
        return -1;
    return std::stoll(std::string(number));
}

namespace {

// Walks the lines "n value" of a whole POP3 listing of `count` messages:
// `take(index, line, pos)` reads the value behind the number (index n - 1)
// and may refuse it. false when the listing has no end, or a line no message
// number or one given twice, or `take` refused.
template <class Take> bool WalkListing(std::string_view reply, std::vector<bool>& seen, Take take) {
    long end = FindPop3MessageEnd(reply);
    size_t from = reply.find('\n');
    if (end < 0 || from == std::string_view::npos)
        return false;
    for (size_t at = from + 1; at < static_cast<size_t>(end) + 2;) {
        size_t next = reply.find('\n', at);
        std::string_view line = WithoutLineEnd(reply.substr(at, next + 1 - at));
        at = next + 1;
        size_t pos = 0;
        std::string_view number = NextWord(line, pos);
        if (!IsAllDigits(number) || number.size() > 9 || line[0] == ' ')
            return false;
        size_t n = std::stoul(std::string(number));
        if (n == 0 || n > seen.size() || seen[n - 1] || !take(n - 1, line, pos))
            return false;
        seen[n - 1] = true;
    }
    return true;
}

} // namespace

bool ParseScanListing(std::string_view reply, std::vector<long long>& sizes) {
    std::vector<bool> seen(sizes.size());
    return WalkListing(reply, seen, [&](size_t index, std::string_view line, size_t pos) {
        std::string_view size = NextWord(line, pos);
        if (!IsAllDigits(size) || size.size() > 15)
            return false;
        sizes[index] = std::stoll(std::string(size));
        return true;
    });
}

bool ParseUniqueIdListing(std::string_view reply, std::vector<std::string>& ids) {
    std::vector<bool> seen(ids.size());
    const bool walked =
        WalkListing(reply, seen, [&](size_t index, std::string_view line, size_t pos) {
            std::string_view id = NextWord(line, pos);
            const bool printable =
                std::all_of(id.begin(), id.end(), [](char c) { return c > ' ' && c < 127; });
            if (id.empty() || id.size() > 70 || !printable || !NextWord(line, pos).empty())
                return false;
            ids[index] = std::string(id);
            return true;
        });
    return walked && std::all_of(seen.begin(), seen.end(), [](bool s) { return s; });
}

namespace {

// Moves `pos` past one FETCH value: a parenthesised list, a quoted string or
// an atom (a number, NIL, a literal's "{n}"). false when it does not end.
bool SkipFetchValue(std::string_view text, size_t& pos) {
    int depth = 0;
    do {
        if (pos >= text.size())
            return false;
        char c = text[pos];
        if (c == '"') {
            for (++pos; pos < text.size() && text[pos] != '"'; ++pos)
                pos += text[pos] == '\\';
            if (pos >= text.size())
                return false;
            ++pos;
        } else if (c == '(' || c == ')') {
            if (c == ')' && depth == 0)
                return false;
            depth += c == '(' ? 1 : -1;
            ++pos;
        } else if (c == ' ') {
            ++pos;
        } else {
            while (pos < text.size() && text[pos] != ' ' && text[pos] != '(' && text[pos] != ')' &&
                   text[pos] != '"')
                ++pos;
        }
    } while (depth > 0);
    return true;
}

} // namespace

std::string Pop3MessageContent(std::string_view reply) {
    const long end = FindPop3MessageEnd(reply);
    const size_t first = reply.find('\n');
    if (end < 0 || first == std::string_view::npos || static_cast<size_t>(end) + 2 < first + 1)
        return {};
    // The end marker's CR LF before the dot belongs to the last line.
    std::string_view body = reply.substr(first + 1, static_cast<size_t>(end) + 2 - (first + 1));
    std::string content;
    content.reserve(body.size());
    for (size_t at = 0; at < body.size();) {
        const size_t lineEnd = std::min(body.find('\n', at), body.size() - 1) + 1;
        std::string_view line = body.substr(at, lineEnd - at);
        if (line.starts_with('.'))
            line.remove_prefix(1);
        content += line;
        at = lineEnd;
    }
    return content;
}

bool ImapBodyLiteral(std::string_view fetchLine, std::string& literal) {
    // The literal that follows "BODY[]" (a server may send any other items
    // before it); the collector has checked the sizes already.
    size_t at = 0;
    for (;;) {
        at = fetchLine.find("BODY[] {", at);
        if (at == std::string_view::npos)
            return false;
        size_t pos = at + 8, size = 0;
        while (pos < fetchLine.size() && fetchLine[pos] >= '0' && fetchLine[pos] <= '9' &&
               size < (size_t{1} << 40))
            size = size * 10 + static_cast<size_t>(fetchLine[pos++] - '0');
        // The collector takes a bare line feed as a line end too.
        const size_t end = fetchLine.substr(pos, 3) == "}\r\n" ? 3
                           : fetchLine.substr(pos, 2) == "}\n" ? 2
                                                               : 0;
        if (end > 0 && pos + end + size <= fetchLine.size()) {
            literal = std::string(fetchLine.substr(pos + end, size));
            return true;
        }
        at = pos;
    }
}

bool ParseFetchItems(std::string_view items, FetchItems& out) {
    out = FetchItems{};
    size_t pos = 0;
    while (pos < items.size() && items[pos] == ' ')
        ++pos;
    if (pos >= items.size() || items[pos++] != '(')
        return false;
    for (;;) {
        while (pos < items.size() && items[pos] == ' ')
            ++pos;
        if (pos >= items.size())
            return false;
        if (items[pos] == ')')
            return true;
        // A name such as BODY[HEADER.FIELDS (FROM)] holds blanks in brackets.
        size_t start = pos;
        while (pos < items.size() && items[pos] != ' ' && items[pos] != '(' && items[pos] != ')') {
            if (items[pos] == '[') {
                pos = items.find(']', pos);
                if (pos == std::string_view::npos)
                    return false;
            }
            ++pos;
        }
        std::string_view name = items.substr(start, pos - start);
        while (pos < items.size() && items[pos] == ' ')
            ++pos;
        size_t valueStart = pos;
        if (name.empty() || !SkipFetchValue(items, pos))
            return false;
        std::string_view value = items.substr(valueStart, pos - valueStart);
        if (EqualsNoCase(name, "FLAGS")) {
            if (!value.starts_with('('))
                return false;
            out.HasFlags = true;
            value = value.substr(1, value.size() - 2);
            for (size_t at = 0; at < value.size();) {
                const std::string_view flag = NextWord(value, at);
                const bool deleted = EqualsNoCase(flag, "\\Deleted");
                out.Deleted |= deleted;
                if (!deleted && !EqualsNoCase(flag, "\\Recent") && !flag.empty())
                    out.Flags += (out.Flags.empty() ? "" : " ") + std::string(flag);
            }
        } else if (EqualsNoCase(name, "INTERNALDATE")) {
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                out.InternalDate = std::string(value.substr(1, value.size() - 2));
        } else if (EqualsNoCase(name, "UID")) {
            // UIDs are 32-bit and never 0.
            if (!IsAllDigits(value) || value.size() > 10)
                return false;
            out.Uid = std::stoull(std::string(value));
            if (out.Uid == 0 || out.Uid > 0xffffffffu)
                return false;
        }
    }
}

CPop3MessageCollector::CPop3MessageCollector(std::string statusLine, size_t maxMessage)
    : maxMessage_(maxMessage), text_(std::move(statusLine)) {
    // The status line's own CR LF may begin the marker.
    searchFrom_ = text_.size() >= 2 ? text_.size() - 2 : 0;
}

size_t CPop3MessageCollector::Feed(std::string_view chunk) {
    if (state_ != CollectState::NeedMore)
        return 0;
    size_t before = text_.size();
    text_.append(chunk);
    long found = FindPop3MessageEnd(std::string_view(text_).substr(searchFrom_));
    if (found >= 0) {
        size_t end = searchFrom_ + static_cast<size_t>(found) + 5;
        text_.resize(end);
        state_ = text_.size() > maxMessage_ ? CollectState::TooLarge : CollectState::Complete;
        return end - before;
    }
    if (text_.size() > maxMessage_) {
        state_ = CollectState::TooLarge;
        return chunk.size();
    }
    // Keep the last four bytes in the next search: a marker may straddle.
    searchFrom_ = text_.size() >= 4 ? text_.size() - 4 : 0;
    return chunk.size();
}

bool ParseLiteralAnnouncement(std::string_view segment, uint64_t maxLiteral, uint64_t& size,
                              bool& tooLarge) {
    tooLarge = false;
    if (segment.empty() || segment.back() != '}')
        return false;
    size_t open = segment.rfind('{');
    if (open == std::string_view::npos)
        return false;
    std::string_view digits = segment.substr(open + 1, segment.size() - open - 2);
    if (!digits.empty() && digits.back() == '+')
        digits.remove_suffix(1);
    if (!IsAllDigits(digits))
        return false;
    uint64_t value = 0;
    for (char c : digits) {
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > maxLiteral) {
            tooLarge = true;
            return true;
        }
    }
    size = value;
    return true;
}

CImapResponseCollector::CImapResponseCollector(std::string tag, const ReplyLimits& limits)
    : tag_(std::move(tag)), limits_(limits) {}

size_t CImapResponseCollector::Feed(std::string_view chunk) {
    // The whole response may hold one message and a few lines around it.
    const size_t maxTotal = limits_.MaxMessage + limits_.MaxStatusLine;
    size_t i = 0;
    while (i < chunk.size() && state_ == CollectState::NeedMore) {
        if (literalLeft_ > 0) {
            size_t take = static_cast<size_t>(std::min<uint64_t>(literalLeft_, chunk.size() - i));
            text_.append(chunk.substr(i, take));
            i += take;
            literalLeft_ -= take;
            if (literalLeft_ == 0)
                segmentStart_ = text_.size();
            continue;
        }
        size_t newline = chunk.find('\n', i);
        size_t take = (newline == std::string_view::npos ? chunk.size() : newline + 1) - i;
        if (text_.size() - segmentStart_ + take > limits_.MaxStatusLine ||
            text_.size() + take > maxTotal) {
            Fail();
            return i + take;
        }
        text_.append(chunk.substr(i, take));
        i += take;
        if (newline != std::string_view::npos)
            LineSegmentEnded(segmentStart_, text_.size());
    }
    return i;
}

void CImapResponseCollector::LineSegmentEnded(size_t segmentStart, size_t segmentEnd) {
    if (segmentStart == lineStart_) {
        firstSegmentEnd_ = segmentEnd;
        skeleton_.clear();
    }
    std::string_view segment =
        WithoutLineEnd(std::string_view(text_).substr(segmentStart, segmentEnd - segmentStart));
    skeleton_.append(segment);
    uint64_t size = 0;
    bool tooLarge = false;
    if (ParseLiteralAnnouncement(segment, limits_.MaxMessage, size, tooLarge)) {
        if (tooLarge || text_.size() + size > limits_.MaxMessage + limits_.MaxStatusLine) {
            Fail();
            return;
        }
        lineHasLiteral_ = true;
        literalLeft_ = size;
        // The line goes on after the literal's bytes.
        segmentStart_ = segmentEnd;
        return;
    }
    LogicalLineEnded();
    // A body handed over has left the text: the next line starts at its end.
    lineStart_ = segmentStart_ = std::min(segmentEnd, text_.size());
    lineHasLiteral_ = false;
}

void CImapResponseCollector::LogicalLineEnded() {
    std::string_view first =
        WithoutLineEnd(std::string_view(text_).substr(lineStart_, firstSegmentEnd_ - lineStart_));
    if (first.size() > tag_.size() && first.substr(0, tag_.size()) == tag_ &&
        first[tag_.size()] == ' ') {
        size_t pos = tag_.size();
        std::string_view word = NextWord(first, pos);
        if (EqualsNoCase(word, "OK"))
            status_ = TaggedStatus::Ok;
        else if (EqualsNoCase(word, "NO"))
            status_ = TaggedStatus::No;
        else if (EqualsNoCase(word, "BAD"))
            status_ = TaggedStatus::Bad;
        else
            status_ = TaggedStatus::Other;
        state_ = CollectState::Complete;
        return;
    }
    if (first.size() < 2 || first[0] != '*' || first[1] != ' ')
        return;
    size_t pos = 1;
    std::string_view number = NextWord(first, pos);
    std::string_view keyword = NextWord(first, pos);
    // "* OK [UIDVALIDITY n] ...": a value that is no number is kept as one
    // that matches no memory.
    if (EqualsNoCase(number, "OK") && EqualsNoCase(keyword, "[UIDVALIDITY")) {
        std::string_view value = NextWord(first, pos);
        if (!value.empty() && value.back() == ']')
            value.remove_suffix(1);
        uidValidity_ = IsAllDigits(value) ? std::string(value) : std::string("?");
    }
    if (!IsAllDigits(number))
        return;
    if (EqualsNoCase(keyword, "EXPUNGE"))
        sawExpunge_ = true;
    // A number too long to read counts as beyond every count.
    const long n = number.size() <= 9 ? std::stol(std::string(number)) : kMaxMessageCount + 1L;
    if (EqualsNoCase(keyword, "EXISTS"))
        largestExists_ = std::max(largestExists_, n);
    if (!EqualsNoCase(keyword, "FETCH"))
        return;
    FetchItems items;
    // The skeleton begins with the line's first segment.
    if (!ParseFetchItems(std::string_view(skeleton_).substr(pos), items))
        items = FetchItems{};
    if (flags_ && items.HasFlags) {
        if (n < 1 || static_cast<size_t>(n) > flags_->State.size())
            flags_->Beyond = true;
        else
            flags_->State[static_cast<size_t>(n) - 1] =
                items.Deleted ? ImapFlagTable::Deleted : ImapFlagTable::Clear;
    }
    if (sink_ && lineHasLiteral_) {
        std::string body = text_.substr(lineStart_);
        text_.resize(lineStart_);
        sink_(n, items, std::move(body));
    }
}

bool ParseSearchResponse(std::string_view response, std::vector<uint64_t>& numbers) {
    for (size_t at = 0; at < response.size();) {
        const size_t end = std::min(response.find('\n', at), response.size());
        std::string_view line =
            WithoutLineEnd(response.substr(at, end - at + (end < response.size())));
        at = end + 1;
        size_t pos = 0;
        if (NextWord(line, pos) != "*" || !EqualsNoCase(NextWord(line, pos), "SEARCH"))
            continue;
        for (std::string_view word = NextWord(line, pos); !word.empty();
             word = NextWord(line, pos)) {
            if (!IsAllDigits(word) || word.size() > 10)
                return false;
            const uint64_t value = std::stoull(std::string(word));
            if (value == 0 || value > 0xffffffffu)
                return false;
            numbers.push_back(value);
        }
    }
    return true;
}
