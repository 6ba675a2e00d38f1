#include "mail/imap_append.h"

#include "mail/connection.h"
#include "mail/imap_session.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <vector>

namespace {

constexpr const char* kLoginTag = "r001";
constexpr const char* kAppendTag = "r002";
constexpr const char* kLogoutTag = "r003";
constexpr const char* kCapabilityTag = "r004";
constexpr const char* kStartTlsTag = "r005";
// The same slow but honest rate the sessions allow a reply on top of the time-out.
constexpr long long kBytesPerSecond = 1024;
// Untagged lines a server may send before it answers the APPEND line.
constexpr int kMaxLinesBeforeContinuation = 100;
constexpr size_t kMaxServerText = 300;

enum class Read { Complete, Lost };

class CAppendLink {
  public:
    explicit CAppendLink(const ImapAppendRequest& request)
        : request_(request), buffer_(64 * 1024) {}
    ~CAppendLink() { connection_.CloseConnection(); }

    bool Connect(std::string& why) {
        if (connection_.Connect(request_.Port, request_.Server, request_.Timeout) == 1)
            return true;
        why = connection_.ConnectFailure();
        return false;
    }
    // STARTTLS once the server said yes; nothing it sent after that yes is
    // read, for it came before TLS.
    bool StartTls(std::string& why) {
        if (pending_.empty() && connection_.StartTls(request_.Server, request_.Timeout) == 1)
            return true;
        why = pending_.empty() ? connection_.ConnectFailure() : "bytes after the STARTTLS reply";
        connection_.CloseConnection();
        return false;
    }
    bool IsTls() const { return connection_.IsTls(); }
    bool PeerIsLoopback() const { return connection_.PeerIsLoopback(); }
    bool Send(std::string_view bytes) {
        const auto allowance =
            request_.Timeout + std::chrono::milliseconds(
                                   1000 * static_cast<long long>(bytes.size()) / kBytesPerSecond);
        return connection_.SendAll(bytes, allowance) == 1;
    }
    // Feeds received bytes to `collector` until it is done; bytes past its
    // end wait for the next reply.
    template <class Collector> Read Collect(Collector& collector) {
        if (!pending_.empty())
            pending_.erase(0, collector.Feed(pending_));
        const auto start = std::chrono::steady_clock::now();
        long long received = 0;
        while (collector.State() == CollectState::NeedMore) {
            // The reply's own deadline grows with its bytes, never with the
            // number of receives.
            const auto deadline = start + request_.Timeout +
                                  std::chrono::milliseconds(1000 * received / kBytesPerSecond);
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left <= std::chrono::milliseconds::zero())
                return Read::Lost;
            const int n =
                connection_.ReceiveSome(buffer_.data(), static_cast<int>(buffer_.size()), left);
            if (n <= 0)
                return Read::Lost;
            received += n;
            const std::string_view chunk(buffer_.data(), static_cast<size_t>(n));
            const size_t used = collector.Feed(chunk);
            pending_.append(chunk.substr(used));
        }
        return collector.State() == CollectState::Complete ? Read::Complete : Read::Lost;
    }
    Read ReadLine(std::string& line) {
        CStatusLineCollector collector(request_.Limits.MaxStatusLine);
        const Read result = Collect(collector);
        line = collector.Text();
        return result;
    }

  private:
    const ImapAppendRequest& request_;
    CServerConnection connection_;
    std::vector<char> buffer_;
    std::string pending_;
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           });
}

// A tagged line's status and the words after it, printable only.
TaggedStatus SplitTagged(std::string_view line, std::string_view tag, std::string& words) {
    line.remove_prefix(std::min(line.size(), tag.size() + 1));
    const size_t blank = std::min(line.find(' '), line.size());
    const std::string_view status = line.substr(0, blank);
    std::string_view rest = line.substr(std::min(blank + 1, line.size()));
    words.clear();
    for (char c : rest)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f && words.size() < kMaxServerText)
            words += c;
    auto is = [&](std::string_view word) {
        return status.size() == word.size() && StartsWithNoCase(status, word);
    };
    return is("OK")    ? TaggedStatus::Ok
           : is("NO")  ? TaggedStatus::No
           : is("BAD") ? TaggedStatus::Bad
                       : TaggedStatus::Other;
}

// The tagged completion line of a whole response: its last line.
std::string_view TaggedLine(const std::string& response) {
    std::string_view text(response);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    const size_t lf = text.rfind('\n');
    return lf == std::string_view::npos ? text : text.substr(lf + 1);
}

int RefusalResult(const std::string& words) {
    return StartsWithNoCase(words, "[TOOBIG]") || StartsWithNoCase(words, "[LIMIT]")
               ? kAppendTooLarge
               : kAppendRefused;
}

bool IsSafeArgument(const std::string& value) {
    return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// After the message is in (or refused): the server closes after LOGOUT,
// and what it answers changes nothing.
void Logout(CAppendLink& link, const ImapAppendRequest& request) {
    if (!link.Send(std::string(kLogoutTag) + " LOGOUT\r\n"))
        return;
    CImapResponseCollector reply(kLogoutTag, request.Limits);
    link.Collect(reply);
}

// Before the password: STARTTLS where the server offers it, else plain text
// only where allowed. kAppendDone to go on, else the result that ends it.
int Secure(CAppendLink& link, const ImapAppendRequest& request, const std::string& greeting,
           ImapAppendOutcome& outcome) {
    if (link.IsTls())
        return kAppendDone;
    std::string offered = greeting;
    if (greeting.find("[CAPABILITY ") == std::string::npos) {
        CImapResponseCollector reply(kCapabilityTag, request.Limits);
        if (!link.Send(std::string(kCapabilityTag) + " CAPABILITY\r\n") ||
            link.Collect(reply) != Read::Complete)
            return kAppendLost;
        offered = reply.Text();
    }
    if (!ReadCapabilities(offered).StartTls)
        return PlainTextWithoutAsking(link.PeerIsLoopback(), request.Security)
                   ? kAppendDone
                   : kAppendPasswordKept;
    CImapResponseCollector reply(kStartTlsTag, request.Limits);
    if (!link.Send(std::string(kStartTlsTag) + " STARTTLS\r\n") ||
        link.Collect(reply) != Read::Complete ||
        SplitTagged(TaggedLine(reply.Text()), kStartTlsTag, outcome.ServerText) !=
            TaggedStatus::Ok ||
        !link.StartTls(outcome.ServerText))
        return kAppendTlsFailed;
    outcome.ServerText.clear();
    return kAppendDone;
}

ImapAppendOutcome Converse(CAppendLink& link, const ImapAppendRequest& request) {
    ImapAppendOutcome outcome;
    std::string line;
    if (link.ReadLine(line) != Read::Complete)
        return outcome;
    if (!line.starts_with("* OK")) {
        outcome.Result = kAppendNoGreeting;
        return outcome;
    }
    if (const int secured = Secure(link, request, line, outcome); secured != kAppendDone) {
        outcome.Result = secured;
        return outcome;
    }
    CImapResponseCollector login(kLoginTag, request.Limits);
    if (!link.Send(std::string(kLoginTag) + " LOGIN " + request.UserName + " " + request.Password +
                   "\r\n") ||
        link.Collect(login) != Read::Complete)
        return outcome;
    if (SplitTagged(TaggedLine(login.Text()), kLoginTag, outcome.ServerText) != TaggedStatus::Ok) {
        outcome.Result = kAppendLoginRejected;
        return outcome;
    }
    outcome.ServerText.clear();

    std::string command = std::string(kAppendTag) + " APPEND INBOX";
    if (const std::string flags = AppendFlagList(request.Flags); !flags.empty())
        command += " (" + flags + ")";
    if (IsInternalDate(request.InternalDate))
        command += " \"" + request.InternalDate + "\"";
    command += " {" + std::to_string(request.Text.size()) + "}\r\n";
    if (!link.Send(command))
        return outcome;
    // The server says "+" before it takes the literal, or refuses at once
    // (a message too large is refused before a byte of it is sent).
    const std::string tagged = std::string(kAppendTag) + ' ';
    for (int lines = 0;; ++lines) {
        if (lines == kMaxLinesBeforeContinuation || link.ReadLine(line) != Read::Complete)
            return outcome;
        if (line.starts_with("+"))
            break;
        if (line.starts_with(tagged)) {
            const TaggedStatus status =
                SplitTagged(TaggedLine(line), kAppendTag, outcome.ServerText);
            outcome.Result =
                status == TaggedStatus::Ok ? kAppendLost : RefusalResult(outcome.ServerText);
            if (status != TaggedStatus::Ok)
                Logout(link, request);
            return outcome;
        }
    }
    CImapResponseCollector reply(kAppendTag, request.Limits);
    if (!link.Send(request.Text) || !link.Send("\r\n") || link.Collect(reply) != Read::Complete)
        return outcome;
    const TaggedStatus status =
        SplitTagged(TaggedLine(reply.Text()), kAppendTag, outcome.ServerText);
    if (status == TaggedStatus::Ok)
        outcome.Result = kAppendDone;
    else if (status == TaggedStatus::No || status == TaggedStatus::Bad)
        outcome.Result = RefusalResult(outcome.ServerText);
    Logout(link, request);
    return outcome;
}

} // namespace

std::string AppendFlagList(const std::string& flags) {
    std::istringstream words(flags);
    std::string list;
    for (std::string flag; words >> flag;) {
        // An atom, with one leading backslash for a system flag.
        const size_t atom = flag.starts_with('\\') ? 1 : 0;
        const bool clean =
            flag.size() > atom && std::all_of(flag.begin() + atom, flag.end(), [](char c) {
                const auto u = static_cast<unsigned char>(c);
                return u > 0x20 && u < 0x7f &&
                       std::string_view("(){%*\"\\]").find(c) == std::string_view::npos;
            });
        // \Recent is the server's to set; \Deleted would have the copy removed again.
        if (!clean || (StartsWithNoCase(flag, "\\Recent") && flag.size() == 7) ||
            (StartsWithNoCase(flag, "\\Deleted") && flag.size() == 8))
            continue;
        list += (list.empty() ? "" : " ") + flag;
    }
    return list;
}

bool IsInternalDate(const std::string& date) {
    // "dd-Mon-yyyy hh:mm:ss +zzzz", the day possibly with a leading blank.
    static const std::string_view shape = "##-Aaa-#### ##:##:## +####";
    if (date.size() != shape.size())
        return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        const auto c = static_cast<unsigned char>(date[i]);
        const char want = shape[i];
        const bool fits = want == '#'   ? std::isdigit(c) || (i == 0 && c == ' ')
                          : want == 'A' ? std::isupper(c)
                          : want == 'a' ? std::islower(c)
                          : want == '+' ? c == '+' || c == '-'
                                        : c == static_cast<unsigned char>(want);
        if (!fits)
            return false;
    }
    return true;
}

ImapAppendOutcome AppendToInbox(const ImapAppendRequest& request) {
    ImapAppendOutcome outcome;
    if (!IsSafeArgument(request.UserName) || !IsSafeArgument(request.Password)) {
        outcome.Result = kAppendUnsafe;
        return outcome;
    }
    CAppendLink link(request);
    if (!link.Connect(outcome.ServerText)) {
        outcome.Result = kAppendConnectFailed;
        return outcome;
    }
    return Converse(link, request);
}
