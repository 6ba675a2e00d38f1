#pragma once
// The window side of the program as main() sees it: creates the main window
// hidden (which loads the lists and starts the check timer), answers the
// core's questions, and shows the window on request.
#include <memory>

class CFilterApp;
class CLoginPrompt;
class CMainDialog;
class CNewSenderPrompt;

class CUiShell {
  public:
    explicit CUiShell(CFilterApp& app);
    ~CUiShell();
    void ShowMainWindow();
    // Before the event loop ends: answer every open question with "no
    // answer" (login: Cancel) so no session thread stays blocked on a window.
    void PrepareQuit();
    CMainDialog& MainDialog() { return *mainDialog_; }

  private:
    CFilterApp& app_;
    std::unique_ptr<CMainDialog> mainDialog_;
    std::unique_ptr<CLoginPrompt> loginPrompt_;
    std::unique_ptr<CNewSenderPrompt> newSenderPrompt_;
};
