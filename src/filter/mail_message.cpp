#include "filter/mail_message.h"

#include "filter/text_search.h"
#include "platform/digest.h"
#include "platform/numconv.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace {
constexpr size_t npos = std::string::npos;

// The text from `from` up to but not including `to` (npos: the end). Empty
// when the range is empty or starts past the end, so every cut is defined.
std::string Cut(const std::string& text, size_t from, size_t to) {
    if (from >= text.size())
        return {};
    if (to == npos || to > text.size())
        to = text.size();
    return to > from ? text.substr(from, to - from) : std::string();
}

size_t FindFrom(const std::string& text, const char* word, size_t from) {
    return from == npos ? npos : text.find(word, from);
}

size_t FindFrom(const std::string& text, char c, size_t from) {
    return from == npos ? npos : text.find(c, from);
}

// The rest of the header line behind `word` plus two more characters
// (normally ": "); only the first physical line counts.
std::string HeaderValue(const std::string& text, size_t wordPos, size_t skip) {
    if (wordPos == npos)
        return {};
    return Cut(text, wordPos + skip, text.find("\r\n", wordPos));
}

// A display name in double quotes, then one pair of angle brackets.
void CleanSender(std::string& sender) {
    size_t quote = sender.find('"');
    if (quote != npos) {
        size_t open = sender.find('<', quote + 1);
        if (open != npos)
            sender.erase(quote, open - quote + 1);
        size_t close = sender.find('>', quote);
        if (close != npos)
            sender.erase(close, 1);
    }
    size_t open = sender.find('<');
    if (open != npos) {
        sender.erase(open, 1);
        size_t close = sender.find('>', open);
        if (close != npos)
            sender.erase(close, 1);
    }
}

// Each "filename=" contributes the last three characters of the rest of
// its line after the last two (closing quote and CR) are dropped.
std::string AttachmentTypesOf(const std::string& text) {
    static constexpr size_t kWordLength = 9; // "filename="
    std::string types;
    size_t at = text.find("filename=");
    while (at != npos) {
        size_t lineEnd = text.find('\n', at);
        std::string name = Cut(text, at + kWordLength, lineEnd);
        name.resize(name.size() >= 2 ? name.size() - 2 : 0);
        types += name.size() > 3 ? name.substr(name.size() - 3) : name;
        at = FindFrom(text, "filename=", lineEnd);
    }
    return types;
}

// The first part of a multipart message, from its boundary line's marker up
// to the next one. The marker starts at the first "=" behind the first
// double quote after "boundary" (so "----=_NextPart_000" gives
// "=_NextPart_000"). Empty when the marker cannot be cut or does not occur
// twice.
std::string FirstPart(const std::string& text, size_t boundaryPos) {
    size_t quote1 = FindFrom(text, '"', boundaryPos);
    size_t equals = FindFrom(text, '=', quote1);
    size_t quote2 = FindFrom(text, '"', equals);
    if (quote2 == npos)
        return {};
    const std::string marker = text.substr(equals, quote2 - equals);
    const CLinearSearch search(marker);
    size_t first = search.Find(text, quote2);
    if (first == npos)
        return {};
    size_t second = search.Find(text, first + marker.size());
    if (second == npos)
        return {};
    return text.substr(first, second - first);
}
} // namespace

std::string BareSenderAddress(std::string_view from) {
    auto trimmed = [](std::string_view word) {
        constexpr std::string_view kAround = "\"'<>(),;: \t";
        const size_t first = word.find_first_not_of(kAround);
        if (first == std::string_view::npos)
            return std::string_view();
        return word.substr(first, word.find_last_not_of(kAround) - first + 1);
    };
    const size_t open = from.find('<');
    const size_t close = open == npos ? npos : from.find('>', open + 1);
    if (close != npos) {
        const std::string_view inside = trimmed(from.substr(open + 1, close - open - 1));
        if (inside.find('@') != npos)
            return std::string(inside);
    }
    for (size_t pos = 0; pos < from.size();) {
        const size_t end = std::min(from.find_first_of(" \t", pos), from.size());
        const std::string_view word = trimmed(from.substr(pos, end - pos));
        if (word.find('@') != npos)
            return std::string(word);
        pos = end + 1;
    }
    return {};
}

void CMailMessage::ParseHeaders() {
    AttachmentTypes.clear();
    // The reply's "+OK " (or the first four characters of an IMAP line).
    RawText.erase(0, 4);
    const std::string& text = RawText;

    // The octet count of "+OK n octets"; an IMAP "* n FETCH" line gives the
    // digits of n after its first two.
    size_t blank = text.find(' ');
    Size = blank == npos ? 0 : Atoi(std::string_view(text).substr(0, blank));

    size_t from = text.find("From");
    Sender = HeaderValue(text, from, 6);
    Subject = HeaderValue(text, FindFrom(text, "Subject", from), 9);

    size_t date = text.find("Date");
    Date = date == npos ? std::string() : Cut(text, date + 6, date + 6 + 16);

    BareAddress = BareSenderAddress(Sender);
    CleanSender(Sender);
    size_t at = Sender.find('@');
    SenderDomain = at == npos ? Sender : Sender.substr(at + 1);

    size_t boundary = text.find("boundary");
    if (boundary != npos) {
        BodyText = FirstPart(text, boundary);
        AttachmentTypes = AttachmentTypesOf(text);
    } else {
        size_t messageId = text.find("Message-ID:");
        BodyText = messageId == npos ? text : text.substr(messageId);
    }
}

void CMailMessage::BuildMessageKey() {
    // The size alone cannot tell two mails apart (an IMAP fetch line below
    // message 100 gives 0): the body's digest must agree as well.
    MessageKey = Sender + Subject + Itoa(Size) + Date + '\n' + TextDigest(BodyText);
}

std::string CMailMessage::GetMessageKey() {
    BuildMessageKey();
    return MessageKey;
}
