#include "ui/ui_shell.h"

#include "app/core/filter_app.h"
#include "ui/login_dialog.h"
#include "ui/main_dialog.h"
#include "ui/main_window_timers.h"
#include "ui/new_sender_prompt.h"
#include "ui/ui_question.h"

CUiShell::CUiShell(CFilterApp& app)
    : app_(app), mainDialog_(std::make_unique<CMainDialog>(app)),
      loginPrompt_(std::make_unique<CLoginPrompt>(app)),
      newSenderPrompt_(std::make_unique<CNewSenderPrompt>(app)) {
    // No tick can arrive before the event loop runs, so the timer that the
    // main window has just started finds its handler's timers in place.
    app_.Timers = &mainDialog_->Timers();
    app_.LoginPrompt = loginPrompt_.get();
    app_.NewSenderPrompt = newSenderPrompt_.get();
}

CUiShell::~CUiShell() {
    app_.NewSenderPrompt = nullptr;
    app_.LoginPrompt = nullptr;
    app_.Timers = nullptr;
}

void CUiShell::ShowMainWindow() {
    mainDialog_->show();
    mainDialog_->raise();
    mainDialog_->activateWindow();
}

void CUiShell::PrepareQuit() {
    CancelAllQuestions();
    mainDialog_->WindowTimers().StopAll();
}
