#pragma once
// Accounts that sign in with OAuth 2.0 instead of a password. Their record
// in the account file holds kOAuthPasswordMarker as its password; what the
// sign-in needs is here, in "OAuth.txt" in the data directory (readable by
// its owner only), one line per account:
//
//   T|server|user|authorization URL|token URL|scope|client id|client secret|refresh token
//
// The refresh token is the rest of the line; with a desktop keyring it is
// kept there and the field reads "<keyring>". A line that cannot be read is
// skipped: the account then counts as not signed in, and the user is asked
// to sign in again, never given a wrong verdict.
#include <string>

inline constexpr const char* kOAuthFileName = "OAuth.txt";
// The password field of an OAuth account: no reader takes it for "*".
inline constexpr const char* kOAuthPasswordMarker = "<oauth>";

// What the user brought (the client) and the provider's endpoints.
struct OAuthClient {
    std::string AuthorizationUrl, TokenUrl, Scope, ClientId, ClientSecret;
};

struct OAuthAccount {
    char Type = 'I'; // 'P' POP3, 'I' IMAP
    std::string Server, User;
    OAuthClient Client;
    std::string RefreshToken; // empty: not signed in
};

// 1 found (`account` filled), 0 none for that account or the file is unreadable.
int ReadOAuthAccount(const std::string& path, char type, const std::string& server,
                     const std::string& user, OAuthAccount& account);
// Replaces the account's line. -1 when the file cannot be written (it stays
// as it was) or a field holds "|" or a line break.
int WriteOAuthAccount(const std::string& path, const OAuthAccount& account);
// Removes the account's line; 1 also when there was none.
int ForgetOAuthAccount(const std::string& path, char type, const std::string& server,
                       const std::string& user);
