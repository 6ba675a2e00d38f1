#include "store/oauth_client_defaults.h"

#include "store/provider_profiles.h"

bool FillOAuthEndpoints(OAuthAccount& account) {
    const ProviderProfile* profile = ProfileForServer(account.Server);
    if (!profile || profile->AuthorizationUrl.empty())
        profile = ProfileForServer(account.User);
    if (!profile || profile->AuthorizationUrl.empty())
        return false;
    OAuthClient& client = account.Client;
    if (client.AuthorizationUrl.empty())
        client.AuthorizationUrl = profile->AuthorizationUrl;
    if (client.TokenUrl.empty())
        client.TokenUrl = profile->TokenUrl;
    if (client.Scope.empty())
        client.Scope = profile->Scope;
    return true;
}
