#include "ui/ui_shell.h"

#include "app/core/filter_app.h"
#include "ui/desktop_events.h"
#include "ui/login_dialog.h"
#include "ui/main_dialog.h"
#include "ui/main_window_timers.h"
#include "ui/new_sender_prompt.h"
#include "ui/plain_text_prompt.h"
#include "ui/sign_in_prompt.h"
#include "ui/tray_icon.h"
#include "ui/ui_question.h"

#include <QEvent>
#include <QObject>
#include <QSystemTrayIcon>

namespace {
// Follows the main window's showing and hiding for other threads to read.
class CShownWatch : public QObject {
  public:
    CShownWatch(std::atomic<bool>& shown, QObject* parent) : QObject(parent), shown_(shown) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show)
            shown_ = true;
        else if (event->type() == QEvent::Hide)
            shown_ = false;
        return false;
    }

  private:
    std::atomic<bool>& shown_;
};
} // namespace

CUiShell::CUiShell(CFilterApp& app, std::function<void()> quit)
    : app_(app), mainDialog_(std::make_unique<CMainDialog>(app)),
      loginPrompt_(std::make_unique<CLoginPrompt>(app)),
      plainTextPrompt_(std::make_unique<CPlainTextPrompt>(app)),
      newSenderPrompt_(std::make_unique<CNewSenderPrompt>(app)),
      signInPrompt_(std::make_unique<CSignInPrompt>(app)) {
    mainDialog_->installEventFilter(new CShownWatch(mainWindowShown_, mainDialog_.get()));
    TrayActions actions;
    actions.Show = [this] { ShowMainWindow(); };
    actions.CheckNow = [this] { app_.CheckNow(); };
    actions.DryRun = [this] {
        app_.NextCheckDryRun = true;
        app_.CheckNow();
    };
    actions.Quit = [this, quit] {
        PrepareQuit();
        if (quit)
            quit();
    };
    desktop_ = std::make_unique<CDesktopEvents>(app_, *mainDialog_, actions);
    newSenderPrompt_->QuestionChanged = [this](const NewSenderQuestion* opened) {
        desktop_->QuestionChanged(opened);
    };
    mainDialog_->DesktopSettingsChanged = [this] { desktop_->ApplySettings(); };
    desktop_->ApplySettings();
    // The icon is wanted but the desktop has no tray: the window is then the
    // only sign that Drossgate runs, and the only way in without a terminal.
    if (app_.ShowTrayIcon.load() && !QSystemTrayIcon::isSystemTrayAvailable())
        ShowMainWindow();
    // No tick can arrive before the event loop runs, so the timer that the
    // main window has just started finds its handler's timers in place.
    app_.Timers = &mainDialog_->Timers();
    app_.LoginPrompt = loginPrompt_.get();
    app_.PlainTextPrompt = plainTextPrompt_.get();
    app_.NewSenderPrompt = newSenderPrompt_.get();
    app_.SignInPrompt = signInPrompt_.get();
}

CUiShell::~CUiShell() {
    newSenderPrompt_->QuestionChanged = nullptr;
    mainDialog_->DesktopSettingsChanged = nullptr;
    app_.NewSenderPrompt = nullptr;
    app_.SignInPrompt = nullptr;
    app_.LoginPrompt = nullptr;
    app_.PlainTextPrompt = nullptr;
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
