#pragma once
// Account passwords in the desktop keyring. With a keyring, a record's
// password field holds kKeyringPasswordMarker and the password itself is the
// keyring entry named by KeyringAccountKey; without one, the field holds the
// password as it always did ("*": none stored, the login prompt asks).
//
// The operations on the application object are in account_passwords.cpp:
// CFilterApp::AccountPassword, ForgetUnusedAccountPassword and
// MoveAccountPasswordsToKeyring; AppendAccountRecord stores through them.
#include <string>
#include <string_view>

// Plain text that no reader takes for "*". A password of exactly this text
// can be kept in the keyring only: in the file it reads as the marker.
inline constexpr const char* kKeyringPasswordMarker = "<keyring>";

// The keyring's service name for all of Drossgate's entries.
inline constexpr const char* kKeyringService = "Drossgate";

// A record "T|account|server|user|password" split up; the password is the
// rest of the line, so it may hold "|".
struct AccountFields {
    char Type = 'I'; // 'P' POP3, 'I' for every other type letter
    std::string Account, Server, User, Password;
};

// false for a line too short to be a record or marked dead ("-->").
bool SplitAccountLine(std::string_view line, AccountFields& fields);

// The entry's key: the data directory and the record's identity, so that
// several data directories never share an entry.
std::string KeyringAccountKey(const std::string& dataDir, char type, const std::string& account,
                              const std::string& server, const std::string& user);
