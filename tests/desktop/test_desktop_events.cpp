// The program's own tray icon and notifications, as a tray host and a notification
// server on the desktop's bus see them.
#include "app/core/filter_app.h"
#include "core/app_fixture.h"
#include "desktop/desktop_fakes.h"
#include "ui/main_dialog.h"
#include "ui/new_sender_dialog.h"
#include "ui/ui_shell.h"

#include <QApplication>
#include <future>
#include <gtest/gtest.h>

namespace {

using Note = CFakeNotificationServer::ReceivedNotification;

class DesktopShell : public CDesktopTest {
  protected:
    void SetUp() override {
        CDesktopTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(watcher.Start() && notes.Start());
        ASSERT_TRUE(fixture.Start());
        ui = std::make_unique<CUiShell>(*fixture.app, [this] { ++quits; });
        ASSERT_TRUE(watcher.WaitForItem());
    }
    void TearDown() override { ui.reset(); }
    QString ToolTip() {
        return watcher.ItemToolTip().value_or(CFakeStatusNotifierWatcher::ToolTip{}).Title;
    }
    Note Drossgate(const QString& summary, const QString& body) {
        return {"Drossgate", "drossgate", summary, body};
    }

    CFakeStatusNotifierWatcher watcher;
    CFakeNotificationServer notes;
    CAppFixture fixture{"[SETTINGS]\r\nShowTrayIcon=1\r\nNotifyQuestions=1\r\nNotifyDeletions=1\r\n"
                        "NotifyLoginFailures=1\r\n"};
    std::unique_ptr<CUiShell> ui;
    int quits = 0;
};

// One notification for a check's deletions; one per account and cause of a login problem (with
// the server's own words apart), again when the cause changes or after a good login; the tray
// lists the accounts that need the user; one for a question while the window is hidden; each
// kind off by its setting.
TEST_F(DesktopShell, NotificationsGroupedOncePerCauseAndBySetting) {
    ICheckEvents* events = fixture.app->CheckEvents.load();
    ASSERT_TRUE(events);
    using enum LoginProblem;
    auto account = [](const char* name, int judged, int deleted, LoginProblem problem = None,
                      const char* said = "") {
        AccountOutcome outcome;
        outcome.Account = name;
        outcome.Judged = judged;
        outcome.Deleted = deleted;
        outcome.Problem = problem;
        outcome.ServerText = said;
        return outcome;
    };
    // As a check ends: its sessions recorded, then the summary handed on.
    auto endCheck = [&](std::vector<AccountOutcome> accounts) {
        for (const AccountOutcome& outcome : accounts)
            fixture.app->CheckReport.Record(outcome);
        events->CheckEnded({"2026-12-07 10:00", std::move(accounts)});
    };
    AccountOutcome dryRun = account("Lab", 2, 2);
    dryRun.DryRun = true;
    const std::vector<AccountOutcome> first = {account("Home", 4, 3),
                                               account("Work", 0, 0, PasswordRejected, "[AUTH] no"),
                                               dryRun, account("Far", 0, 0, PasswordKeptBack)};
    endCheck(first);
    ASSERT_TRUE(notes.WaitForCount(3));
    EXPECT_TRUE(SpinUntil([&] {
        return ToolTip().endsWith(
            "\nFar: Password not sent: no encryption\nWork: Password rejected");
    })) << ToolTip();
    endCheck(first); // the same causes again: said once is enough
    endCheck({account("Home", 1, 1), account("Work", 0, 0, Throttled, "[SYS/TEMP] busy")});
    endCheck({account("Home", 1, 1), account("Work", 1, 0), account("Far", 0, 0)});
    endCheck({account("Home", 1, 1), account("Work", 1, 0, PasswordRejected, "[AUTH] no")});
    ASSERT_TRUE(notes.WaitForCount(9));
    const Note deleted3 = Drossgate("Drossgate deleted spam", "3 spam deleted from Home");
    const Note deleted1 = Drossgate("Drossgate deleted spam", "1 spam deleted from Home");
    const Note refused =
        Drossgate("Work cannot log in", "The server refused the user name or password. Check the "
                                        "account's settings.\nThe server said: [AUTH] no");
    const Note keptBack =
        Drossgate("Far: password not sent", "The server offers no encryption. Drossgate sends the "
                                            "password unencrypted only when you allow it.");
    const Note throttled = Drossgate(
        "Work cannot log in", "The server refuses logins for now (too many attempts or "
                              "connections). Drossgate tries again at the next check.\nThe server "
                              "said: [SYS/TEMP] busy");
    EXPECT_EQ(notes.Received(), std::vector<Note>({refused, keptBack, deleted3, deleted3, throttled,
                                                   deleted1, deleted1, refused, deleted1}));
    EXPECT_TRUE(SpinUntil([&] {
        return ToolTip() ==
               "Last check 2026-12-07 10:00: 2 judged, 1 deleted.\nWork: Password rejected";
    })) << ToolTip();
    fixture.app->CheckReport.Record(account("Work", 1, 0)); // it logs in again

    // A question while the window is hidden; the tooltip says it waits.
    NewSenderQuestion question;
    question.Sender = "ann@mail.example";
    auto answer = std::async(std::launch::async, [&] {
        return fixture.app->NewSenderPrompt.load()->AskNewSender(question);
    });
    ASSERT_TRUE(notes.WaitForCount(10));
    EXPECT_EQ(notes.Received().back(),
              Drossgate("A new sender waits for your answer",
                        "Mail from ann@mail.example: Friend, Block or Ignore?"));
    EXPECT_TRUE(ToolTip().endsWith("\nA question waits for your answer.")) << ToolTip();
    CNewSenderDialog* dialog = nullptr;
    ASSERT_TRUE(SpinUntil([&] {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* open = qobject_cast<CNewSenderDialog*>(window); open && open->isVisible())
                dialog = open;
        return dialog != nullptr;
    }));
    dialog->accept();
    EXPECT_TRUE(SpinUntil(
        [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(answer.get(), NewSenderAnswer::Friend);
    EXPECT_FALSE(ToolTip().contains("question"));

    // Switched off: the next deletions and refusals go untold; the tray icon goes too.
    fixture.app->NotifyDeletions = false;
    fixture.app->NotifyLoginFailures = false;
    events->CheckEnded(
        {"2026-12-07 10:00", {account("Home", 1, 1), account("Lab", 0, 0, PasswordRejected)}});
    ASSERT_TRUE(SpinUntil([&] { return ToolTip().endsWith(": 1 judged, 1 deleted."); }));
    fixture.app->NotifyDeletions = true;
    events->CheckEnded({"2026-12-07 10:00", {account("Home", 5, 5)}});
    ASSERT_TRUE(notes.WaitForCount(11));
    EXPECT_EQ(notes.Received().back(),
              Drossgate("Drossgate deleted spam", "5 spam deleted from Home"));
    EXPECT_EQ(notes.Received().size(), 11u);
}

// The tray item's click and menu do what they say (last: its Quit ends all questions); its tooltip
// follows the checks.
TEST_F(DesktopShell, TrayItemShowsTheWindowChecksAndQuits) {
    EXPECT_EQ(watcher.MenuLabels(), QStringList({"Show Drossgate", "Check Now",
                                                 "Dry Run: judge, delete nothing", "Quit"}));
    EXPECT_EQ(ToolTip(), "No check has run yet.");
    ASSERT_TRUE(watcher.Activate(1, 1));
    EXPECT_TRUE(SpinUntil([&] { return ui->MainWindowShown(); }));
    ui->MainDialog().hide();
    ASSERT_TRUE(watcher.TriggerMenuEntry("&Show Drossgate"));
    EXPECT_TRUE(SpinUntil([&] { return ui->MainWindowShown(); }));

    // No accounts: the check ends at once, and the tooltip says so.
    ASSERT_TRUE(watcher.TriggerMenuEntry("&Check Now"));
    EXPECT_TRUE(SpinUntil([&] { return ToolTip().startsWith("Last check "); })) << ToolTip();
    EXPECT_TRUE(ToolTip().endsWith(": 0 judged, 0 deleted.")) << ToolTip();
    ASSERT_TRUE(watcher.TriggerMenuEntry("&Quit"));
    EXPECT_TRUE(SpinUntil([&] { return quits == 1; }));
    EXPECT_TRUE(notes.Received().empty()) << "an empty check tells nothing";
}

} // namespace
