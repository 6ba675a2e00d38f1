#pragma once
// Putting one message back into an IMAP inbox: connect (TLS on the
// implicit-TLS ports, STARTTLS where offered, as the sessions do), LOGIN, APPEND to INBOX with the
// message's flags and internal date, LOGOUT. A conversation of its own, apart
// from the check sessions: it deletes nothing and never selects a mailbox.
//
// Every reply is bounded by the time-out plus its size at the honest rate,
// and by the reply limits; nothing the server sends is trusted.
#include "mail/reply_parser.h"
#include "store/login_security.h"

#include <chrono>
#include <string>

struct ImapAppendRequest {
    std::string Server;
    int Port = 143;
    std::string UserName;
    std::string Password;
    std::string Flags;        // "\Seen \Flagged"; \Recent and \Deleted are left out
    std::string InternalDate; // "17-Jul-1996 02:44:25 -0700"; empty or malformed: left out
    std::string Text;         // the message, byte for byte
    std::chrono::milliseconds Timeout{std::chrono::minutes(3)};
    ReplyLimits Limits;
    // Without TLS the password goes only as PlainTextWithoutAsking allows.
    LoginSecurity Security;
};

// Results of AppendToInbox.
inline constexpr int kAppendDone = 1;
inline constexpr int kAppendConnectFailed = -1; // no connection (ServerText: why)
inline constexpr int kAppendNoGreeting = -2;    // the greeting was not "* OK"
inline constexpr int kAppendLoginRejected = -3; // LOGIN answered NO or BAD
inline constexpr int kAppendRefused = -4;       // APPEND answered NO or BAD
inline constexpr int kAppendTooLarge = -5;      // APPEND refused with [TOOBIG] or [LIMIT]
inline constexpr int kAppendLost = -6;          // closed, failed, timed out or beyond the limits
inline constexpr int kAppendUnsafe = -7;        // user name or password would break the line
inline constexpr int kAppendTlsFailed = -8;     // STARTTLS offered but failed: nothing sent
inline constexpr int kAppendPasswordKept = -9;  // no TLS and plain text not allowed

struct ImapAppendOutcome {
    int Result = kAppendLost;
    // The server's own words: the text of the tagged reply that decided it,
    // without tag and status word, control characters removed. Empty when
    // the server said nothing that decided it.
    std::string ServerText;
};

ImapAppendOutcome AppendToInbox(const ImapAppendRequest& request);

// The parts of the APPEND command line, cleaned of anything a server could
// read as more than flags or a date: the flag list without \Recent,
// \Deleted and anything not an atom; the date only when it has the form of
// an INTERNALDATE.
std::string AppendFlagList(const std::string& flags);
bool IsInternalDate(const std::string& date);
