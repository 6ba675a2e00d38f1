#include "store/oauth_accounts.h"

#include "platform/text_file.h"

#include <array>
#include <mutex>
#include <sstream>

namespace {

// Sign-ins and refreshes of several sessions may write at once.
std::mutex gOAuthFileLock;

constexpr size_t kFieldsBeforeToken = 8;

bool Parse(std::string line, OAuthAccount& account) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::array<std::string*, kFieldsBeforeToken - 1> fields = {
        &account.Server,           &account.User,          &account.Client.AuthorizationUrl,
        &account.Client.TokenUrl,  &account.Client.Scope,  &account.Client.ClientId,
        &account.Client.ClientSecret};
    if (line.size() < 2 || line[1] != '|' || (line[0] != 'P' && line[0] != 'I'))
        return false;
    account.Type = line[0];
    size_t at = 2;
    for (std::string* field : fields) {
        const size_t bar = line.find('|', at);
        if (bar == std::string::npos)
            return false;
        *field = line.substr(at, bar - at);
        at = bar + 1;
    }
    account.RefreshToken = line.substr(at);
    return !account.Server.empty() && !account.Client.TokenUrl.empty();
}

bool Storable(const std::string& field, bool last) {
    return field.find_first_of(last ? std::string("\r\n\0", 3) : std::string("|\r\n\0", 4)) ==
           std::string::npos;
}

std::string Line(const OAuthAccount& a) {
    return std::string(1, a.Type) + '|' + a.Server + '|' + a.User + '|' +
           a.Client.AuthorizationUrl + '|' + a.Client.TokenUrl + '|' + a.Client.Scope + '|' +
           a.Client.ClientId + '|' + a.Client.ClientSecret + '|' + a.RefreshToken + "\r\n";
}

bool Same(const OAuthAccount& a, char type, const std::string& server, const std::string& user) {
    return a.Type == type && a.Server == server && a.User == user;
}

// The file without the account's line; false when it cannot be read.
bool OtherLines(const std::string& path, char type, const std::string& server,
                const std::string& user, std::string& kept) {
    std::string text;
    if (ReadWholeFile(path, text) == ReadResult::Failed)
        return false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        OAuthAccount account;
        if (Parse(line, account) && !Same(account, type, server, user))
            kept += Line(account);
    }
    return true;
}

} // namespace

int ReadOAuthAccount(const std::string& path, char type, const std::string& server,
                     const std::string& user, OAuthAccount& account) {
    std::lock_guard guard(gOAuthFileLock);
    std::string text;
    if (ReadWholeFile(path, text) != ReadResult::Ok)
        return 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        OAuthAccount found;
        if (Parse(line, found) && Same(found, type, server, user)) {
            account = std::move(found);
            return 1;
        }
    }
    return 0;
}

int WriteOAuthAccount(const std::string& path, const OAuthAccount& account) {
    const OAuthClient& c = account.Client;
    for (const std::string* field : {&account.Server, &account.User, &c.AuthorizationUrl,
                                     &c.TokenUrl, &c.Scope, &c.ClientId, &c.ClientSecret})
        if (!Storable(*field, false))
            return -1;
    if (!Storable(account.RefreshToken, true) || account.Server.empty() || c.TokenUrl.empty())
        return -1;
    std::lock_guard guard(gOAuthFileLock);
    std::string kept;
    if (!OtherLines(path, account.Type, account.Server, account.User, kept))
        return -1;
    return ReplaceFileAtomically(path, kept + Line(account), 0600) ? 1 : -1;
}

int ForgetOAuthAccount(const std::string& path, char type, const std::string& server,
                       const std::string& user) {
    std::lock_guard guard(gOAuthFileLock);
    std::string kept;
    if (!OtherLines(path, type, server, user, kept))
        return -1;
    return ReplaceFileAtomically(path, kept, 0600) ? 1 : -1;
}
