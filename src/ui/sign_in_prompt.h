#pragma once
// The window side of the core's question when an OAuth 2.0 sign-in is no
// longer accepted: the sign-in window, with the reason on top.
#include "app/core/prompts.h"

class CFilterApp;

class CSignInPrompt : public ISignInPrompt {
  public:
    explicit CSignInPrompt(CFilterApp& app) : app_(app) {}
    // Called on a session thread; blocks until the window is closed.
    int AskSignInAgain(const SignInQuestion& question) override;

  private:
    CFilterApp& app_;
};
