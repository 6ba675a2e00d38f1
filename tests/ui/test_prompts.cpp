// The new-sender and login questions that sessions ask from threads of their own.
#include "ui/login_dialog.h"
#include "ui/new_sender_dialog.h"
#include "ui/new_sender_prompt.h"
#include "ui/ui_question.h"
#include "ui_fixture.h"

#include <QMap>

namespace {

CNewSenderDialog* OpenQuestion() {
    return OpenWindows<CNewSenderDialog>().value(0);
}

// Buttons by id, then Return, Escape and the close box (0).
TEST(NewSenderDialog, EachWayOfAnsweringReachesTheAskingThread) {
    using enum NewSenderAnswer;
    const std::pair<int, NewSenderAnswer> cases[] = {
        {1, Friend}, {2, Block}, {5, Ignore}, {Qt::Key_Return, Friend}, {Qt::Key_Escape, Block},
        {0, Block}};
    CUiApp ui;
    CNewSenderPrompt prompt(*ui.app);
    for (auto [how, expected] : cases) {
        NewSenderAnswer answer = NoAnswer;
        CAskingThread asking([&] { answer = prompt.AskNewSender("ann@x.example\r\nhas sent"); });
        ASSERT_TRUE(QTest::qWaitFor([] { return OpenQuestion() != nullptr; }, 5000));
        CNewSenderDialog* dialog = OpenQuestion();
        EXPECT_EQ(Control<QLabel>(dialog, 1005)->text(), "ann@x.example\nhas sent");
        if (how == 0)
            dialog->close();
        else if (how < 100)
            Click(dialog, how);
        else
            QTest::keyClick(dialog, Qt::Key(how));
        ASSERT_TRUE(asking.Wait());
        EXPECT_EQ(answer, expected) << how;
        EXPECT_TRUE(QTest::qWaitFor([] { return OpenQuestion() == nullptr; }, 5000));
    }
}

// Quitting answers the open question "no answer" and closes its window, and
// every later question too: hence a process of its own, ended before main()'s
// QApplication goes (a leak check would report the font cache it holds).
TEST(NewSenderQuit, OpenQuestionIsAnsweredNoAnswer) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto quitWithQuestionOpen = [] {
        CUiApp ui;
        CNewSenderPrompt prompt(*ui.app);
        NewSenderAnswer answer = NewSenderAnswer::Friend;
        CAskingThread asking([&] { answer = prompt.AskNewSender("ann@x.example"); });
        if (!QTest::qWaitFor([] { return OpenQuestion() != nullptr; }, 5000))
            return false;
        CancelAllQuestions();
        return asking.Wait() && answer == NewSenderAnswer::NoAnswer && OpenQuestion() == nullptr;
    };
    EXPECT_EXIT(std::_Exit(quitWithQuestionOpen() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

// Each question has its own dialog, titled with the account name; they are
// answered in any order, and Cancel changes nothing.
TEST(LoginPrompt, PromptsOpenTogetherAreAnsweredInAnyOrder) {
    CUiApp ui;
    CLoginPrompt prompt(*ui.app);
    LoginPromptData first{"First", "a", ""}, second{"Second", "b", "old"};
    int firstResult = 0, secondResult = 0;
    CAskingThread askFirst([&] { firstResult = prompt.AskLogin(first); });
    CAskingThread askSecond([&] { secondResult = prompt.AskLogin(second); });
    ASSERT_TRUE(QTest::qWaitFor([] { return OpenWindows<CLoginDialog>().size() == 2; }, 10000));
    QMap<QString, CLoginDialog*> open;
    for (CLoginDialog* dialog : OpenWindows<CLoginDialog>())
        open[dialog->windowTitle()] = dialog;
    ASSERT_EQ(open.keys(), QStringList({"First", "Second"}));
    EXPECT_EQ(Control<QLineEdit>(open["First"], 1028)->text(), QString("a"));
    Click(open["Second"], 2);
    ASSERT_TRUE(askSecond.Wait());
    EXPECT_EQ(std::pair(secondResult, second.Password), std::pair(2, std::string("old")));
    TypeInto(open["First"], 1028, "a2");
    TypeInto(open["First"], 1029, "s3cr|t");
    Click(open["First"], 1);
    ASSERT_TRUE(askFirst.Wait());
    EXPECT_EQ(std::pair(firstResult, first.UserName + first.Password),
              std::pair(1, std::string("a2s3cr|t")));
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
