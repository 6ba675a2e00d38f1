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

// One notification for a check's deletions, one per refused account (or one whose password was
// kept back for want of encryption) until it logs in again,
// and one for a question while the window is hidden; each kind off by its setting.
TEST_F(DesktopShell, NotificationsGroupedOncePerCauseAndBySetting) {
    ICheckEvents* events = fixture.app->CheckEvents.load();
    ASSERT_TRUE(events);
    CheckSummary check{"2026-12-07 10:00",
                       {{"Home", 4, 3, false, false},
                        {"Work", 0, 0, true, false},
                        {"Lab", 2, 2, false, true},
                        {"Far", 0, 0, false, false, true}}};
    events->CheckEnded(check);
    ASSERT_TRUE(notes.WaitForCount(3));
    events->CheckEnded(check); // Work is refused again: said once is enough
    check.Accounts = {{"Home", 1, 1, false, false}, {"Work", 1, 0, false, false}};
    events->CheckEnded(check);
    check.Accounts[1].LoginRefused = true; // refused anew after it had logged in
    events->CheckEnded(check);
    ASSERT_TRUE(notes.WaitForCount(7));
    const Note deleted3 = Drossgate("Drossgate deleted spam", "3 spam deleted from Home");
    const Note deleted1 = Drossgate("Drossgate deleted spam", "1 spam deleted from Home");
    const Note refused = Drossgate("Work cannot log in", "The server refused the user name or "
                                                         "password. Check the account's settings.");
    const Note keptBack =
        Drossgate("Far: password not sent", "The server offers no encryption. Drossgate sends the "
                                            "password unencrypted only when you allow it.");
    EXPECT_EQ(notes.Received(), std::vector<Note>({refused, keptBack, deleted3, deleted3, deleted1,
                                                   refused, deleted1}));
    EXPECT_TRUE(SpinUntil([&] {
        return ToolTip() == "Last check 2026-12-07 10:00: 2 judged, 1 deleted.";
    })) << ToolTip();

    // A question while the window is hidden; the tooltip says it waits.
    NewSenderQuestion question;
    question.Sender = "ann@mail.example";
    auto answer = std::async(std::launch::async, [&] {
        return fixture.app->NewSenderPrompt.load()->AskNewSender(question);
    });
    ASSERT_TRUE(notes.WaitForCount(8));
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
    check.Accounts = {{"Home", 1, 1, false, false}, {"Lab", 0, 0, true, false}};
    events->CheckEnded(check);
    ASSERT_TRUE(SpinUntil([&] { return ToolTip().endsWith(": 1 judged, 1 deleted."); }));
    fixture.app->NotifyDeletions = true;
    check.Accounts = {{"Home", 5, 5, false, false}};
    events->CheckEnded(check);
    ASSERT_TRUE(notes.WaitForCount(9));
    EXPECT_EQ(notes.Received().back(),
              Drossgate("Drossgate deleted spam", "5 spam deleted from Home"));
    EXPECT_EQ(notes.Received().size(), 9u);
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
