#pragma once
// A scripted OAuth 2.0 token endpoint and sign-in prompt, and a stored
// sign-in for the sessions' user "u" on this machine.
#include "app/core/filter_app.h"
#include "app/core/prompts.h"
#include "platform/oauth_token_endpoint.h"
#include "store/oauth_accounts.h"

#include <functional>
#include <mutex>
#include <vector>

// Answers every request with Answer and Grant; a granted access token that
// Grant does not give is TokenPrefix and the request's number (1, 2, ...).
struct CFakeTokenEndpoint : IOAuthTokenEndpoint {
    int RequestToken(const std::string& url, const FormFields& form, TokenGrant& grant) override {
        std::lock_guard guard(lock);
        Urls.push_back(url);
        Forms.push_back(form);
        grant = Grant;
        if (Answer == 1 && grant.AccessToken.empty())
            grant.AccessToken = TokenPrefix + std::to_string(Forms.size());
        return Answer;
    }
    int Answer = 1;
    TokenGrant Grant;
    std::string TokenPrefix = "at";
    std::vector<std::string> Urls;
    std::vector<FormFields> Forms;
    std::mutex lock;
};

// Records every question; "not signed in" unless Answer says otherwise.
struct CFakeSignInPrompt : ISignInPrompt {
    int AskSignInAgain(const SignInQuestion& question) override {
        Asked.push_back(question);
        return Answer ? Answer() : 2;
    }
    std::vector<SignInQuestion> Asked;
    std::function<int()> Answer;
};

inline OAuthAccount TestSignIn(char type) {
    OAuthAccount account;
    account.Type = type;
    account.Server = "127.0.0.1";
    account.User = "u";
    account.Client = {"https://id.example/auth", "https://id.example/token", "mail", "cid", ""};
    account.RefreshToken = "rt1";
    return account;
}
