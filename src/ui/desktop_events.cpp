#include "ui/desktop_events.h"

#include "app/core/filter_app.h"
#include "app/core/prompts.h"
#include "ui/desktop_notifier.h"
#include "ui/login_problem_texts.h"
#include "ui/text_conv.h"
#include "ui/tray_icon.h"
#include "ui/ui_question.h"

#include <QStringList>
#include <QWidget>

namespace {
constexpr int kNoCheckYet = 18005, kLastCheck = 18006, kQuestionWaits = 18007;
constexpr int kQuestionSummary = 18008, kQuestionBody = 18009;
constexpr int kDeletedSummary = 18010, kDeletedLine = 18011;
constexpr int kRefusedSummary = 18012, kKeptBackSummary = 18109, kProblemLine = 18123;
} // namespace

CDesktopEvents::CDesktopEvents(CFilterApp& app, QWidget& mainWindow, const TrayActions& actions,
                               QObject* parent)
    : QObject(parent), app_(app), mainWindow_(mainWindow), tray_(new CTrayIcon(app, actions, this)),
      notifier_(new CDesktopNotifier(this)) {
    tray_->SetToolTip(ToolTipText());
    app_.CheckEvents = this;
}

CDesktopEvents::~CDesktopEvents() {
    app_.CheckEvents = nullptr;
}

void CDesktopEvents::CheckEnded(const CheckSummary& summary) {
    // From a check's thread: the windows and the bus are the window thread's.
    QMetaObject::invokeMethod(
        this, [this, summary] { ShowCheck(summary); }, Qt::QueuedConnection);
}

void CDesktopEvents::ShowCheck(const CheckSummary& summary) {
    last_ = summary;
    tray_->SetToolTip(ToolTipText());
    QStringList deleted;
    for (const AccountOutcome& account : summary.Accounts) {
        const QString name = ToQString(account.Account);
        if (account.Deleted > 0 && !account.DryRun)
            deleted << LocalText(app_, kDeletedLine).arg(account.Deleted).arg(name);
        // Told once per account and cause: again only when the cause
        // changes, or after the account has logged in.
        if (account.Problem == LoginProblem::None) {
            toldProblems_.erase(account.Account);
            continue;
        }
        const auto told = toldProblems_.find(account.Account);
        if (told != toldProblems_.end() && told->second == account.Problem)
            continue;
        toldProblems_[account.Account] = account.Problem;
        if (!app_.NotifyLoginFailures.load())
            continue;
        const bool keptBack = account.Problem == LoginProblem::PasswordKeptBack;
        QString body = LoginProblemAdvice(app_, account.Problem);
        if (const QString said = ServerSaid(app_, account.ServerText); !said.isEmpty())
            body += '\n' + said;
        notifier_->Notify(LocalText(app_, keptBack ? kKeptBackSummary : kRefusedSummary).arg(name),
                          body);
    }
    if (!deleted.isEmpty() && app_.NotifyDeletions.load())
        notifier_->Notify(LocalText(app_, kDeletedSummary), deleted.join('\n'));
}

void CDesktopEvents::QuestionChanged(const NewSenderQuestion* opened) {
    tray_->SetToolTip(ToolTipText());
    // Whoever looks at the main window sees the question come up anyway.
    if (opened && app_.NotifyQuestions.load() && !mainWindow_.isVisible())
        notifier_->Notify(LocalText(app_, kQuestionSummary),
                          LocalText(app_, kQuestionBody).arg(ShownHeaderText(opened->Sender)));
}

void CDesktopEvents::ApplySettings() {
    tray_->SetShown(app_.ShowTrayIcon.load());
}

QString CDesktopEvents::ToolTipText() const {
    QString text = last_.EndedAt.empty() ? LocalText(app_, kNoCheckYet)
                                         : LocalText(app_, kLastCheck)
                                               .arg(ToQString(last_.EndedAt))
                                               .arg(last_.Judged())
                                               .arg(last_.Deleted());
    for (const auto& [account, outcome] : app_.CheckReport.LoginProblems())
        text += '\n' + LocalText(app_, kProblemLine)
                           .arg(ToQString(account), LoginProblemName(app_, outcome.Problem));
    if (OpenQuestionCount() > 0)
        text += '\n' + LocalText(app_, kQuestionWaits);
    return text;
}
