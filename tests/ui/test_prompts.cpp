// The new-sender, login and plain-text questions that sessions ask from threads of their own.
#include "ui/login_dialog.h"
#include "ui/new_sender_dialog.h"
#include "ui/new_sender_prompt.h"
#include "ui/plain_text_prompt.h"
#include "ui/ui_question.h"
#include "ui_fixture.h"

#include <QMap>

namespace {

CNewSenderDialog* OpenQuestion() {
    return OpenWindows<CNewSenderDialog>().value(0);
}

// Quitting (-1) answers "no answer", in a process of its own: later questions are refused too,
// and it ends before main()'s QApplication goes (else a leak check reports the font cache).
TEST(NewSenderDialog, EachWayOfAnsweringReachesTheAskingThread) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    using enum NewSenderAnswer;
    const std::pair<int, NewSenderAnswer> cases[] = {
        {1, Friend},   {2, Block}, {5, Ignore}, {Qt::Key_Return, Friend}, {Qt::Key_Escape, Block},
        {-1, NoAnswer}};
    CUiApp ui;
    CNewSenderPrompt prompt(*ui.app);
    for (auto [how, expected] : cases) {
        NewSenderAnswer answer = Friend;
        const NewSenderQuestion question{.Prompt = "ann@x.example\r\nhas sent",
                                         .Subject = "Gr\xc3\xbc\xc3\x9f"
                                                    "e",
                                         .FirstLines = "first\nsecond",
                                         .Guess = how == 1 ? "Probably spam" : ""};
        CAskingThread asking([&] { answer = prompt.AskNewSender(question); });
        ASSERT_TRUE(QTest::qWaitFor([] { return OpenQuestion() != nullptr; }, 5000));
        CNewSenderDialog* dialog = OpenQuestion();
        EXPECT_EQ(Control<QLabel>(dialog, 1005)->text(), "ann@x.example\nhas sent");
        // The mail itself, so the user does not answer blind; the guess only when there is one.
        EXPECT_EQ(Control<QLabel>(dialog, 1006)->text(), QString::fromUtf8("Grüße"));
        EXPECT_EQ(Control<QLabel>(dialog, 1007)->text(), "first\nsecond");
        EXPECT_EQ(Control<QLabel>(dialog, 1008)->isVisible(), how == 1);
        if (how == 1) {
            EXPECT_EQ(Control<QLabel>(dialog, 1008)->text(),
                      "What Drossgate thinks: Probably spam");
        }
        if (how < 0) { // here the window closes as `asking` ends
            EXPECT_EXIT(
                (CancelAllQuestions(),
                 std::_Exit(asking.Wait() && answer == expected && !OpenQuestion() ? 0 : 1)),
                ::testing::ExitedWithCode(0), "");
            continue;
        }
        how < 100 ? Click(dialog, how) : QTest::keyClick(dialog, Qt::Key(how));
        ASSERT_TRUE(asking.Wait());
        EXPECT_EQ(answer, expected) << how;
        EXPECT_TRUE(QTest::qWaitFor([] { return OpenQuestion() == nullptr; }, 5000));
    }
}

// Each question has its own dialog, answered in any order; Cancel changes nothing. On the window
// thread it runs directly (a blocking queued call to one's own thread would deadlock).
TEST(LoginPrompt, AnsweredInAnyOrderAndOnTheWindowThread) {
    CUiApp ui;
    CLoginPrompt prompt(*ui.app);
    LoginPromptData first{"First", "a", ""}, second{"Second", "b", "old"}, here{"Here", "me", "pw"};
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
    WhenModal<CLoginDialog>([](CLoginDialog* dialog) { Click(dialog, 1); });
    EXPECT_EQ(std::pair(prompt.AskLogin(here), here.Password), std::pair(1, std::string("pw")));
}

// The warning names the account and the server, says why, and keeps the
// password back unless "Send Unencrypted" is clicked: Enter and Escape both
// keep it.
TEST(PlainTextPrompt, OnlyTheSendButtonLetsThePasswordGo) {
    CUiApp ui;
    CPlainTextPrompt prompt(*ui.app);
    for (const int how : {0, int(Qt::Key_Return), int(Qt::Key_Escape)}) {
        int answer = 0;
        CAskingThread asking([&] {
            answer = prompt.AskPlainText({"Home", "mail.example", how == Qt::Key_Escape});
        });
        ASSERT_TRUE(QTest::qWaitFor([] { return !OpenWindows<QMessageBox>().isEmpty(); }, 5000));
        QMessageBox* box = OpenWindows<QMessageBox>().value(0);
        EXPECT_TRUE(box->text().startsWith("Home (mail.example) offer"))
            << box->text().toStdString();
        EXPECT_EQ(box->text().contains("tampering"), how == Qt::Key_Escape);
        if (how == 0) {
            for (QAbstractButton* button : box->buttons())
                if (button->text() == "Send &Unencrypted")
                    button->click();
        } else
            QTest::keyClick(box, Qt::Key(how));
        ASSERT_TRUE(asking.Wait());
        EXPECT_EQ(answer, how == 0 ? 1 : 2) << how;
        EXPECT_TRUE(QTest::qWaitFor([] { return OpenWindows<QMessageBox>().isEmpty(); }, 5000));
    }
}

} // namespace
