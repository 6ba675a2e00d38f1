#pragma once
// The window side of the core's new-sender question.
#include "app/core/prompts.h"

#include <functional>

class CFilterApp;

class CNewSenderPrompt : public INewSenderPrompt {
  public:
    explicit CNewSenderPrompt(CFilterApp& app) : app_(app) {}
    // Called on a session thread; blocks until the user answers.
    NewSenderAnswer AskNewSender(const NewSenderQuestion& question) override;
    // Told on the window thread when a question's window opens (with the
    // question) and when it is answered (null).
    std::function<void(const NewSenderQuestion*)> QuestionChanged;

  private:
    CFilterApp& app_;
};
