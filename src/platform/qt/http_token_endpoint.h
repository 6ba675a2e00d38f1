#pragma once
// IOAuthTokenEndpoint over Qt's network classes. Requests run on one thread
// of their own with an event loop, so any thread may ask (a check's session,
// the sign-in); a caller waits at most `wait`. Only https is used, except to
// a provider on this machine (the tests' provider).
#include "platform/oauth_token_endpoint.h"

#include <chrono>

class CHttpTokenEndpoint : public IOAuthTokenEndpoint {
  public:
    explicit CHttpTokenEndpoint(std::chrono::milliseconds wait = std::chrono::seconds(30));
    int RequestToken(const std::string& url, const FormFields& form, TokenGrant& grant) override;

    struct Answer;

  private:
    std::chrono::milliseconds wait_;
};

// The token endpoint's JSON answer read as RFC 6749 says (5.1 and 5.2): 1
// granted, 0 refused, -1 not a token answer.
int ReadTokenAnswer(int httpStatus, const std::string& body, TokenGrant& grant);
