#pragma once
// The window side of the program as main() sees it: creates the main window
// hidden (which loads the lists and starts the check timer), answers the
// core's questions, and shows the window on request.
#include <atomic>
#include <functional>
#include <memory>

class CDesktopEvents;
class CFilterApp;
class CLoginPrompt;
class CMainDialog;
class CNewSenderPrompt;
class CPlainTextPrompt;
class CSignInPrompt;

class CUiShell {
  public:
    // `quit` ends the program (the tray menu's Quit), after PrepareQuit.
    CUiShell(CFilterApp& app, std::function<void()> quit = {});
    ~CUiShell();
    void ShowMainWindow();
    // Any thread: whether the main window is on the screen.
    bool MainWindowShown() const { return mainWindowShown_.load(); }
    // Before the event loop ends: answer every open question with "no
    // answer" (login: Cancel) so no session thread stays blocked on a window.
    void PrepareQuit();
    CMainDialog& MainDialog() { return *mainDialog_; }
    CDesktopEvents& Desktop() { return *desktop_; }

  private:
    CFilterApp& app_;
    std::unique_ptr<CMainDialog> mainDialog_;
    std::unique_ptr<CLoginPrompt> loginPrompt_;
    std::unique_ptr<CPlainTextPrompt> plainTextPrompt_;
    std::unique_ptr<CNewSenderPrompt> newSenderPrompt_;
    std::unique_ptr<CSignInPrompt> signInPrompt_;
    std::unique_ptr<CDesktopEvents> desktop_;
    std::atomic<bool> mainWindowShown_{false};
};
