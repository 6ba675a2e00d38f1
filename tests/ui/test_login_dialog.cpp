// The login prompt as the sessions use it: asked from other threads, each
// question with its own dialog, answered in any order, localized when shown.
#include "ui/login_dialog.h"
#include "ui_fixture.h"

#include <QLabel>
#include <atomic>
#include <thread>

namespace {

// Asks on a thread of its own, as a session step does.
class CAsker {
  public:
    CAsker(CLoginPrompt& prompt, LoginPromptData data) : data_(std::move(data)) {
        thread_ = std::thread([this, &prompt] {
            result_ = prompt.AskLogin(data_);
            done_ = true;
        });
    }
    ~CAsker() { thread_.join(); }
    bool Wait() {
        return QTest::qWaitFor([this] { return done_.load(); }, 10000);
    }
    int Result() const { return result_; }
    const LoginPromptData& Data() const { return data_; }

  private:
    LoginPromptData data_;
    std::atomic<bool> done_{false};
    int result_ = 0;
    std::thread thread_;
};

QList<CLoginDialog*> OpenPrompts() {
    QList<CLoginDialog*> open;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* prompt = qobject_cast<CLoginDialog*>(window); prompt && prompt->isVisible())
            open.push_back(prompt);
    return open;
}

CLoginDialog* PromptTitled(const QString& title) {
    for (CLoginDialog* prompt : OpenPrompts())
        if (prompt->windowTitle() == title)
            return prompt;
    return nullptr;
}

TEST(LoginPrompt, OkReturnsTheValuesTypedIn) {
    CUiApp ui;
    CLoginPrompt prompt(ui.app());
    CAsker asker(prompt, {"Work", "joe", ""});
    ASSERT_TRUE(QTest::qWaitFor([] { return PromptTitled("Work") != nullptr; }, 10000));
    CLoginDialog* dialog = PromptTitled("Work");
    EXPECT_EQ(Control<QLineEdit>(dialog, 1028)->text(), QString("joe"));
    EXPECT_EQ(Control<QLineEdit>(dialog, 1029)->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    Control<QLineEdit>(dialog, 1028)->setText("joe2");
    Control<QLineEdit>(dialog, 1029)->setText("s3cr|t");
    Click(dialog, 1);
    ASSERT_TRUE(asker.Wait());
    EXPECT_EQ(asker.Result(), 1);
    EXPECT_EQ(asker.Data().UserName, "joe2");
    EXPECT_EQ(asker.Data().Password, "s3cr|t");
}

TEST(LoginPrompt, PromptsOpenTogetherAreAnsweredInAnyOrder) {
    CUiApp ui;
    CLoginPrompt prompt(ui.app());
    CAsker first(prompt, {"First", "a", ""});
    CAsker second(prompt, {"Second", "b", "old"});
    ASSERT_TRUE(QTest::qWaitFor([] { return OpenPrompts().size() == 2; }, 10000));
    Click(PromptTitled("Second"), 2); // the later one first
    ASSERT_TRUE(second.Wait());
    EXPECT_EQ(second.Result(), 2);
    EXPECT_EQ(second.Data().Password, "old"); // Cancel changes nothing
    Control<QLineEdit>(PromptTitled("First"), 1029)->setText("new");
    Click(PromptTitled("First"), 1);
    ASSERT_TRUE(first.Wait());
    EXPECT_EQ(first.Result(), 1);
    EXPECT_EQ(first.Data().Password, "new");
}

TEST(LoginPrompt, AskedOnTheWindowThreadRunsDirectly) {
    CUiApp ui;
    CLoginPrompt prompt(ui.app());
    WhenModal<CLoginDialog>([](CLoginDialog* dialog) { Click(dialog, 1); });
    LoginPromptData data{"Here", "me", "pw"};
    EXPECT_EQ(prompt.AskLogin(data), 1);
    EXPECT_EQ(data.Password, "pw");
}

TEST(LoginDialog, LocalizedWithItsTextsButKeepsTheAccountAsTitle) {
    CUiApp ui("[SETTINGS]\r\n", "[Tarnwick]\r\n12001=Benutzer\r\n12003=Gut\r\n");
    CLoginDialog dialog(ui.app(), {"Work", "joe", ""});
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QString("Work"));
    EXPECT_EQ(Control<QLabel>(&dialog, 1005)->text(), QString("Benutzer"));
    EXPECT_EQ(Control<QLabel>(&dialog, 1007)->text(), QString("Password"));
    EXPECT_EQ(Control<QPushButton>(&dialog, 1)->text(), QString("Gut"));
    EXPECT_EQ(Control<QPushButton>(&dialog, 2)->text(), QString("Cancel"));
}

} // namespace
