#pragma once
// What one session's check of an account did, as the desktop is told it.
#include <string>
#include <string_view>

// Why an account cannot log in until its user acts (or the server lets it).
enum class LoginProblem {
    None,
    PasswordRejected,    // user name or password refused, no new one given
    PasswordKeptBack,    // no encryption, and plain text not allowed
    TlsFailed,           // the upgrade failed or the certificate was refused
    Throttled,           // the server refuses logins for now
    BasicAuthDisabled,   // the server no longer takes passwords at all
    CertificateRefused,  // the server's certificate is not trusted
    SignInNeeded,        // the OAuth 2.0 sign-in is revoked, expired or never made
    ProviderUnreachable, // the OAuth 2.0 provider could not be asked for a token
    SignInNotOffered,    // the account signs in with OAuth 2.0; the server offers no way to
};

struct AccountOutcome {
    std::string Account; // the account's name, or its server's
    int Judged = 0;      // messages judged at this check
    int Deleted = 0;     // of them (and of remembered mail) deleted on the server
    LoginProblem Problem = LoginProblem::None;
    bool DryRun = false; // nothing was deleted on purpose
    // The server's own words with its refusal (printable, shortened), kept
    // apart from Drossgate's texts; empty when it said nothing.
    std::string ServerText = {};
};

// What a refusal of the login means, by the response codes that servers
// give (POP3 [SYS/TEMP] [IN-USE] [LOGIN-DELAY], IMAP [UNAVAILABLE]) and the
// words of those that switched passwords off.
LoginProblem ClassifyLoginRefusal(std::string_view serverText);
// The printable part of a server's refusal (the last line of its reply), at
// most 200 bytes, without its tag and status word.
std::string RefusalText(std::string_view reply);
// Words that came from the network, safe to show or log: well-formed UTF-8
// kept, control characters and any other byte replaced by '?', at most 300
// bytes, cut on a character's boundary.
std::string ShownServerText(std::string_view text);
