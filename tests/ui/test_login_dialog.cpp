// The login prompt as the sessions use it: asked from other threads, each
// question with its own dialog, answered in any order, localized when shown.
// The account test drives it against the test mail server.
#include "ui/login_dialog.h"
#include "ui_fixture.h"

namespace {

CLoginDialog* PromptTitled(const QString& title) {
    for (CLoginDialog* prompt : OpenWindows<CLoginDialog>())
        if (prompt->windowTitle() == title)
            return prompt;
    return nullptr;
}

// The account name is the title; the other captions come from texts 12001 on.
TEST(LoginPrompt, PromptsOpenTogetherAreAnsweredInAnyOrder) {
    CUiApp ui("[SETTINGS]\r\n", "[Tarnwick]\r\n12001=Benutzer\r\n12003=Gut\r\n");
    CLoginPrompt prompt(*ui.app);
    LoginPromptData first{"First", "a", ""}, second{"Second", "b", "old"};
    int firstResult = 0, secondResult = 0;
    CAskingThread askFirst([&] { firstResult = prompt.AskLogin(first); });
    CAskingThread askSecond([&] { secondResult = prompt.AskLogin(second); });
    ASSERT_TRUE(QTest::qWaitFor([] { return OpenWindows<CLoginDialog>().size() == 2; }, 10000));
    CLoginDialog* dialog = PromptTitled("First");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Control<QLabel>(dialog, 1005)->text() + Control<QLabel>(dialog, 1007)->text() +
                  Control<QPushButton>(dialog, 1)->text(),
              QString("BenutzerPasswordGut"));
    EXPECT_EQ(Control<QLineEdit>(dialog, 1028)->text(), QString("a"));
    EXPECT_EQ(Control<QLineEdit>(dialog, 1029)->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowStaysOnTopHint);

    Click(PromptTitled("Second"), 2); // the later one first
    ASSERT_TRUE(askSecond.Wait());
    EXPECT_EQ(secondResult, 2);
    EXPECT_EQ(second.Password, "old"); // Cancel changes nothing
    TypeInto(dialog, 1028, "a2");
    TypeInto(dialog, 1029, "s3cr|t");
    Click(dialog, 1);
    ASSERT_TRUE(askFirst.Wait());
    EXPECT_EQ(firstResult, 1);
    EXPECT_EQ(first.UserName + first.Password, "a2s3cr|t");
}

// A blocking queued call to one's own thread would deadlock.
TEST(LoginPrompt, AskedOnTheWindowThreadRunsDirectly) {
    CUiApp ui;
    CLoginPrompt prompt(*ui.app);
    WhenModal<CLoginDialog>([](CLoginDialog* dialog) { Click(dialog, 1); });
    LoginPromptData data{"Here", "me", "pw"};
    EXPECT_EQ(prompt.AskLogin(data), 1);
    EXPECT_EQ(data.Password, "pw");
}

} // namespace
