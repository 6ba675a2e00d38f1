#pragma once
// What Drossgate remembers, per account, about sending its password: that
// the server offered TLS at an earlier login (so a server that stops
// offering it is not trusted with the password unasked), and that the user
// allowed the password in plain text.
//
// File "Logins.txt" in the data directory, one line per account:
// "tls|T|server|user", "plain|T|server|user" or "tls+plain|T|server|user".
// Lines that are none of these are skipped; an unreadable file remembers
// nothing, which only means the user is asked again.
#include <string>

inline constexpr const char* kLoginSecurityFileName = "Logins.txt";

struct LoginSecurity {
    bool TlsSeen = false;      // the server offered TLS at an earlier login
    bool PlainAllowed = false; // the user allowed the password in plain text
};

// The key of an account: type letter, server and user name.
std::string LoginSecurityKey(char typeLetter, const std::string& server, const std::string& user);

LoginSecurity ReadLoginSecurity(const std::string& path, const std::string& key);
// Replaces the account's line (none when both flags are off). 1 written or
// unchanged; -1 the file could not be written (it stays as it was).
int WriteLoginSecurity(const std::string& path, const std::string& key, LoginSecurity security);

// Whether the password may go in plain text without asking: the user
// allowed it, or the server is on this machine and never offered TLS.
bool PlainTextWithoutAsking(bool peerIsLoopback, LoginSecurity security);
