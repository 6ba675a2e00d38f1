#pragma once
// The provider's part of an OAuth 2.0 client, from the provider profiles.
#include "store/oauth_accounts.h"

// Fills the endpoints and scope that `account` lacks from the profile of
// its server, or of its user name when that is a whole address. false when
// no profile with an OAuth 2.0 sign-in is known for either.
bool FillOAuthEndpoints(OAuthAccount& account);
