// The access tokens of OAuth 2.0 accounts: held in memory only, renewed
// through the provider's token endpoint with the stored refresh token.
#include "app/core/filter_app.h"
#include "mail/session_outcome.h"
#include "platform/keyring.h"
#include "platform/oauth_token_endpoint.h"
#include "store/account_passwords.h"
#include "store/oauth_accounts.h"

#include <algorithm>
#include <memory>
#include <mutex>

namespace {

// A token is renewed this long before it runs out, so a login never sends
// one that expires on the way; at most half its life, for short-lived ones.
constexpr std::chrono::minutes kRenewMargin{5};
// A provider that gives no life time: an hour, the common one.
constexpr long long kAssumedLifetimeSeconds = 3600;

std::string AccountKey(char type, const std::string& server, const std::string& user) {
    return std::string(1, type) + '|' + server + '|' + user;
}

} // namespace

void CFilterApp::HoldToken(const std::string& key, const TokenGrant& grant) {
    const long long seconds =
        grant.ExpiresInSeconds > 0 ? grant.ExpiresInSeconds : kAssumedLifetimeSeconds;
    HeldToken held;
    held.Token = grant.AccessToken;
    held.Lifetime = std::chrono::seconds(seconds);
    held.Expires = TokenClock() + held.Lifetime;
    heldTokens_[key] = std::move(held);
}

int CFilterApp::ReadOAuthSignIn(char type, const std::string& server, const std::string& user,
                                OAuthAccount& account) {
    if (ReadOAuthAccount(InstallPath + "/" + kOAuthFileName, type, server, user, account) != 1)
        return 0;
    if (account.RefreshToken != kKeyringPasswordMarker)
        return 1;
    std::string token, why;
    const int read =
        Keyring ? Keyring->ReadPassword(InstallPath + "|oauth|" + AccountKey(type, server, user),
                                        token, why)
                : -1;
    if (read != 1)
        LogLine("the desktop keyring gave no sign-in: " + (Keyring ? why : "no keyring"), server);
    account.RefreshToken = read == 1 ? token : std::string();
    return 1;
}

int CFilterApp::StoreOAuthSignIn(OAuthAccount account) {
    std::string why;
    if (Keyring && !account.RefreshToken.empty() &&
        Keyring->WritePassword(InstallPath + "|oauth|" +
                                   AccountKey(account.Type, account.Server, account.User),
                               account.RefreshToken, why) == 1)
        account.RefreshToken = kKeyringPasswordMarker;
    int written;
    {
        std::lock_guard guard(oauthFileLock_);
        written = WriteOAuthAccount(InstallPath + "/" + kOAuthFileName, account);
    }
    if (written == 1)
        return 1;
    LogLine("the sign-in could not be stored in " + std::string(kOAuthFileName), account.Server);
    return -1;
}

int CFilterApp::KeepOAuthSignIn(const OAuthAccount& account, const TokenGrant& grant) {
    OAuthAccount stored = account;
    if (!grant.RefreshToken.empty())
        stored.RefreshToken = grant.RefreshToken;
    if (StoreOAuthSignIn(std::move(stored)) != 1)
        return -1;
    if (!grant.AccessToken.empty()) {
        std::lock_guard guard(tokenLock_);
        HoldToken(AccountKey(account.Type, account.Server, account.User), grant);
    }
    return 1;
}

void CFilterApp::ForgetOAuthSignIn(char type, const std::string& server, const std::string& user) {
    const std::string key = AccountKey(type, server, user);
    {
        std::lock_guard guard(tokenLock_);
        heldTokens_.erase(key);
    }
    std::string why;
    if (Keyring)
        Keyring->DeletePassword(InstallPath + "|oauth|" + key, why);
    std::lock_guard guard(oauthFileLock_);
    ForgetOAuthAccount(InstallPath + "/" + kOAuthFileName, type, server, user);
}

int CFilterApp::OAuthAccessToken(char type, const std::string& server, const std::string& user,
                                 bool renew, std::string& token, std::string& why) {
    const std::string key = AccountKey(type, server, user);
    std::shared_ptr<std::mutex> renewLock;
    {
        std::lock_guard guard(tokenLock_);
        auto& slot = renewLocks_[key];
        if (!slot)
            slot = std::make_shared<std::mutex>();
        renewLock = slot;
    }
    std::lock_guard renewing(*renewLock);
    {
        // A session that waited for another's renewal finds its token here.
        std::lock_guard guard(tokenLock_);
        auto held = heldTokens_.find(key);
        if (held != heldTokens_.end()) {
            const auto margin = std::min<std::chrono::steady_clock::duration>(
                kRenewMargin, held->second.Lifetime / 2);
            if (!renew && TokenClock() + margin < held->second.Expires) {
                token = held->second.Token;
                return 1;
            }
            heldTokens_.erase(held);
        }
    }
    OAuthAccount account;
    if (ReadOAuthSignIn(type, server, user, account) != 1 || account.RefreshToken.empty()) {
        why.clear();
        return -2;
    }
    if (!TokenEndpoint) {
        why = "no way to reach the provider";
        return -1;
    }
    FormFields form = {{"grant_type", "refresh_token"},
                       {"refresh_token", account.RefreshToken},
                       {"client_id", account.Client.ClientId}};
    if (!account.Client.ClientSecret.empty())
        form.emplace_back("client_secret", account.Client.ClientSecret);
    TokenGrant grant;
    const int granted = TokenEndpoint->RequestToken(account.Client.TokenUrl, form, grant);
    if (granted == 1 && !grant.AccessToken.empty()) {
        if (!grant.RefreshToken.empty() && grant.RefreshToken != account.RefreshToken) {
            // The provider rotated the refresh token: the old one is spent.
            account.RefreshToken = grant.RefreshToken;
            StoreOAuthSignIn(std::move(account));
        }
        {
            std::lock_guard guard(tokenLock_);
            HoldToken(key, grant);
        }
        token = grant.AccessToken;
        return 1;
    }
    why = grant.Error.empty()
              ? grant.Description
              : grant.Error + (grant.Description.empty() ? "" : ": ") + grant.Description;
    LogLine("the provider gave no access token: " + ShownServerText(why), server);
    return granted == 0 ? -2 : -1;
}
