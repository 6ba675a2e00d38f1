#include "mail/session_outcome.h"

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
