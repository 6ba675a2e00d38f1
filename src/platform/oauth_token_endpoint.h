#pragma once
// An OAuth 2.0 provider's token endpoint, as the core sees it: one form POST
// and its JSON answer. Every call returns within a bounded time; none throws.
#include <string>
#include <utility>
#include <vector>

struct TokenGrant {
    std::string AccessToken;
    std::string RefreshToken;       // empty when the provider kept the old one
    long long ExpiresInSeconds = 0; // 0: the provider did not say
    // A refusal's "error" and "error_description" (RFC 6749 5.2), or why
    // the provider could not be asked.
    std::string Error, Description;
};

using FormFields = std::vector<std::pair<std::string, std::string>>;

class IOAuthTokenEndpoint {
  public:
    virtual ~IOAuthTokenEndpoint() = default;
    // 1 granted; 0 the provider refused (grant.Error set); -1 the provider
    // was not reached or its answer is no token answer (grant.Description).
    virtual int RequestToken(const std::string& url, const FormFields& form, TokenGrant& grant) = 0;
};
