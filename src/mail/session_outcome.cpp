#include "mail/session_outcome.h"

#include "filter/mail_text.h"

#include <algorithm>
#include <cctype>

namespace {

bool ContainsNoCase(std::string_view text, std::string_view word) {
    return std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           }) != text.end();
}

} // namespace

LoginProblem ClassifyLoginRefusal(std::string_view serverText) {
    for (std::string_view word : {"basic auth", "basicauth", "application-specific password",
                                  "oauth", "web login required", "[WEBALERT"})
        if (ContainsNoCase(serverText, word))
            return LoginProblem::BasicAuthDisabled;
    for (std::string_view word : {"[SYS/TEMP]", "[IN-USE]", "[LOGIN-DELAY]", "[UNAVAILABLE]",
                                  "too many", "throttl", "rate limit", "try again later"})
        if (ContainsNoCase(serverText, word))
            return LoginProblem::Throttled;
    return LoginProblem::PasswordRejected;
}

std::string RefusalText(std::string_view reply) {
    // The tagged or status line: the reply's last line.
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r'))
        reply.remove_suffix(1);
    const size_t lf = reply.rfind('\n');
    const std::string_view statusLine = lf == std::string_view::npos ? reply : reply.substr(lf + 1);
    // POP3 "-ERR words", IMAP "tag NO words": the words after the status.
    size_t start = 0;
    if (statusLine.starts_with("-ERR"))
        start = 4;
    else if (size_t blank = statusLine.find(' '); blank != std::string_view::npos)
        start = statusLine.find(' ', blank + 1) == std::string_view::npos
                    ? statusLine.size()
                    : statusLine.find(' ', blank + 1);
    // The blanks before the words take none of the 200 bytes.
    start = std::min(statusLine.find_first_not_of(' ', start), statusLine.size());
    std::string words;
    for (char c : statusLine.substr(start))
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f && words.size() < 200)
            words += c;
    const size_t first = words.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : words.substr(first);
}

// The most of a provider's or server's words that the user is shown.
constexpr size_t kMaxShownText = 300;

// Words that came from the network, safe to show: well-formed UTF-8 kept,
// control characters and every other byte replaced by '?', at most
// kMaxShownText bytes.
std::string ShownServerText(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::string shown;
    for (size_t i = 0; i < text.size() && shown.size() < kMaxShownText;) {
        const size_t length = mail_text::SequenceLength(p + i, text.size() - i);
        // C0 and C1 controls and DEL are not for a window either.
        const bool control = length == 1 ? p[i] < 0x20 || p[i] == 0x7f
                                         : length == 2 && p[i] == 0xc2 && p[i + 1] < 0xa0;
        if (length == 0 || control)
            shown += '?';
        else
            shown.append(text.substr(i, length));
        i += std::max<size_t>(length, 1);
    }
    shown.resize(mail_text::CutLength(shown, kMaxShownText));
    return shown;
}
