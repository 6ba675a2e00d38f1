#pragma once
// The window side of the core's new-sender question.
#include "app/core/prompts.h"

class CFilterApp;

class CNewSenderPrompt : public INewSenderPrompt {
  public:
    explicit CNewSenderPrompt(CFilterApp& app) : app_(app) {}
    // Called on a session thread; blocks until the user answers.
    NewSenderAnswer AskNewSender(const NewSenderQuestion& question) override;

  private:
    CFilterApp& app_;
};
