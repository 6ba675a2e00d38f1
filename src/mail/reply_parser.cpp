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

long FindPop3MessageEnd(std::string_view text) {
    size_t pos = text.find("\n.\r\n");
    return pos == std::string_view::npos ? -1 : static_cast<long>(pos);
}

CPop3MessageCollector::CPop3MessageCollector(std::string statusLine, size_t maxMessage)
    : maxMessage_(maxMessage), text_(std::move(statusLine)) {
    // The status line's own line feed may begin the marker.
    searchFrom_ = text_.empty() ? 0 : text_.size() - 1;
}

size_t CPop3MessageCollector::Feed(std::string_view chunk) {
    if (state_ != CollectState::NeedMore)
        return 0;
    size_t before = text_.size();
    text_.append(chunk);
    long found = FindPop3MessageEnd(std::string_view(text_).substr(searchFrom_));
    if (found >= 0) {
        size_t end = searchFrom_ + static_cast<size_t>(found) + 4;
        text_.resize(end);
        state_ = text_.size() > maxMessage_ ? CollectState::TooLarge : CollectState::Complete;
        return end - before;
    }
    if (text_.size() > maxMessage_) {
        state_ = CollectState::TooLarge;
        return chunk.size();
    }
    // Keep the last three bytes in the next search: a marker may straddle.
    searchFrom_ = text_.size() >= 3 ? text_.size() - 3 : 0;
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

CImapResponseCollector::CImapResponseCollector(std::string tag, const ReplyLimits& limits,
                                               long fetchNumber)
    : tag_(std::move(tag)), limits_(limits), fetchNumber_(fetchNumber) {}

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
    if (segmentStart == lineStart_)
        firstSegmentEnd_ = segmentEnd;
    std::string_view segment =
        WithoutLineEnd(std::string_view(text_).substr(segmentStart, segmentEnd - segmentStart));
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
    lineStart_ = segmentStart_ = segmentEnd;
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
    if (!IsAllDigits(number))
        return;
    if (EqualsNoCase(keyword, "EXPUNGE"))
        sawExpunge_ = true;
    if (fetchNumber_ > 0 && lineHasLiteral_ && EqualsNoCase(keyword, "FETCH")) {
        if (number.size() <= 9 && std::stol(std::string(number)) == fetchNumber_)
            sawFetchLiteral_ = true;
        else
            sawOtherFetchLiteral_ = true;
    }
}
