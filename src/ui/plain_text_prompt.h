#pragma once
// The window side of the question before a password would go over the
// network in plain text: a warning with "Send Unencrypted" and "Do Not
// Send", the latter the default, so a hasty Enter keeps the password back.
#include "app/core/prompts.h"

class CFilterApp;
class QMessageBox;
class QWidget;

// The warning itself, not yet shown: Send is the accept role.
QMessageBox* MakePlainTextWarning(CFilterApp& app, const PlainTextQuestion& question,
                                  QWidget* parent);

class CPlainTextPrompt : public IPlainTextPrompt {
  public:
    explicit CPlainTextPrompt(CFilterApp& app) : app_(app) {}
    // Called on a session thread (or the account test's); blocks until
    // answered. Without a window system, or while the program quits: 2.
    int AskPlainText(const PlainTextQuestion& question) override;

  private:
    CFilterApp& app_;
};
