// The new-sender question as the core asks it, from a thread of its own:
// each answer (buttons, Return, Escape, the close box), a question still open
// when the program quits, and a check against the test mail server where
// each answer acts on the server and in the list files.
#include "core/filter_fixture.h"
#include "server/mail_server.h"
#include "ui/new_sender_dialog.h"
#include "ui/new_sender_prompt.h"
#include "ui/ui_question.h"
#include "window_support.h"

#include <QLabel>
#include <QTest>
#include <atomic>
#include <thread>

namespace {
// The question's window, once it is up.
CNewSenderDialog* OpenQuestion() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<CNewSenderDialog*>(window); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

// Runs `ask` on a thread of its own, as a session would, and gives the
// window thread's event loop time until it has returned.
template <class Ask> class CAskingThread {
  public:
    explicit CAskingThread(Ask ask)
        : thread_([this, ask] {
              ask();
              done_ = true;
          }) {}
    // A test that failed half-way still ends: any question left open is
    // answered before the thread is joined.
    ~CAskingThread() {
        while (!done_) {
            if (CNewSenderDialog* open = OpenQuestion())
                open->close();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        thread_.join();
    }
    bool Done() const { return done_; }

  private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

struct AnswerCase {
    const char* Name;
    std::function<void(CNewSenderDialog*)> Act;
    NewSenderAnswer Expected;
};

void PressKey(CNewSenderDialog* dialog, Qt::Key key) {
    QTest::keyClick(dialog, key);
}

const AnswerCase kAnswers[] = {
    {"FriendButton", [](CNewSenderDialog* d) { Click(d, 1); }, NewSenderAnswer::Friend},
    {"BlockButton", [](CNewSenderDialog* d) { Click(d, 2); }, NewSenderAnswer::Block},
    {"IgnoreButton", [](CNewSenderDialog* d) { Click(d, 5); }, NewSenderAnswer::Ignore},
    {"Return", [](CNewSenderDialog* d) { PressKey(d, Qt::Key_Return); }, NewSenderAnswer::Friend},
    {"Escape", [](CNewSenderDialog* d) { PressKey(d, Qt::Key_Escape); }, NewSenderAnswer::Block},
    {"CloseBox", [](CNewSenderDialog* d) { d->close(); }, NewSenderAnswer::Block},
};

void PrintTo(const AnswerCase& c, std::ostream* out) {
    *out << c.Name;
}

class NewSenderAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(NewSenderAnswers, ReachTheAskingThread) {
    CAppFixture fx;
    ASSERT_TRUE(fx.Start());
    CNewSenderPrompt prompt(*fx.app);
    NewSenderAnswer answer = NewSenderAnswer::NoAnswer;
    {
        CAskingThread asking([&] { answer = prompt.AskNewSender("ann@mail.example\r\nhas sent"); });
        ASSERT_TRUE(WaitUntil([] { return OpenQuestion() != nullptr; }));
        CNewSenderDialog* dialog = OpenQuestion();
        EXPECT_TRUE(dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(dialog->windowTitle(), "New User");
        EXPECT_EQ(Control<QLabel>(dialog, 1005)->text(), "ann@mail.example\nhas sent");
        GetParam().Act(dialog);
        ASSERT_TRUE(WaitUntil([&] { return asking.Done(); }));
    }
    EXPECT_EQ(answer, GetParam().Expected);
    EXPECT_TRUE(WaitUntil([] { return OpenQuestion() == nullptr; }));
}

INSTANTIATE_TEST_SUITE_P(Answers, NewSenderAnswers, ::testing::ValuesIn(kAnswers),
                         [](const auto& info) { return std::string(info.param.Name); });

// The quit path: the open question is answered "no answer" and its window
// closes. True when both happened.
bool QuitWithQuestionOpen() {
    CAppFixture fx;
    if (!fx.Start())
        return false;
    CNewSenderPrompt prompt(*fx.app);
    NewSenderAnswer answer = NewSenderAnswer::Friend;
    {
        CAskingThread asking([&] { answer = prompt.AskNewSender("ann@mail.example"); });
        if (!WaitUntil([] { return OpenQuestion() != nullptr; }))
            return false;
        CancelAllQuestions();
        if (!WaitUntil([&] { return asking.Done(); }))
            return false;
    }
    return answer == NewSenderAnswer::NoAnswer && OpenQuestion() == nullptr;
}

// Quitting answers every open question "no answer" for good, so this runs in
// a process of its own. That process ends without tearing down the
// QApplication of main(), so it skips the exit handlers (a leak check would
// report the font cache the QApplication holds).
TEST(NewSenderQuit, OpenQuestionIsAnsweredNoAnswer) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(QuitWithQuestionOpen() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

// Against the test mail server: the mailbox is this test's own.
const std::string kServerUser = "user14";

struct ServerAnswer {
    const char* Name;
    int ButtonId;
    int MailsLeft;
    const char* FriendFile;
    const char* BlockedFile;
};

void PrintTo(const ServerAnswer& c, std::ostream* out) {
    *out << c.Name;
}

class NewSenderOnServer : public ::testing::TestWithParam<ServerAnswer> {};

TEST_P(NewSenderOnServer, AnswerActsOnServerAndListFiles) {
    SKIP_WITHOUT_MAIL_SERVER();
    const ServerAnswer& c = GetParam();
    CAppFixture fx("[SETTINGS]\r\n10001=" + std::to_string(CTestMailServer::Pop3Port()) +
                   "\r\n10005=0\r\n10008=2\r\n10009=1000000\r\n");
    ASSERT_TRUE(fx.Start());
    fx.app->ServerTimeoutMsOverride = 20000;
    CTestMailServer::ResetMailbox(kServerUser);
    filter_test::Mail mail;
    mail.From = "rob@news.example";
    mail.Subject = "Hello from Rob";
    CTestMailServer::Deliver(kServerUser, filter_test::MessageText(mail));
    fx.app->AppendAccountRecord(true, "Home", "127.0.0.1", kServerUser,
                                CTestMailServer::Password(kServerUser));
    CNewSenderPrompt prompt(*fx.app);
    fx.app->NewSenderPrompt = &prompt;

    fx.app->CheckNow();
    const bool asked = WaitUntil([] { return OpenQuestion() != nullptr; }, 60000);
    EXPECT_TRUE(asked);
    if (asked)
        Click(OpenQuestion(), c.ButtonId);
    // Without a question the check still ends on its own: nothing waits for it.
    EXPECT_TRUE(WaitUntil([&] { return !fx.app->CheckInProgress(); }, 120000));
    EXPECT_TRUE(fx.app->WaitForCheckToFinish(std::chrono::seconds(5)));
    fx.app->NewSenderPrompt = nullptr;

    EXPECT_EQ(CTestMailServer::CountContaining(kServerUser, "Hello from Rob"), c.MailsLeft);
    EXPECT_EQ(fx.dir.Read("Friend List.zrk"), c.FriendFile);
    EXPECT_EQ(fx.dir.Read("Blocked List.zrk"), c.BlockedFile);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, NewSenderOnServer,
    ::testing::Values(ServerAnswer{"Friend", 1, 1, "   rob@news.example\r\n", ""},
                      ServerAnswer{"Block", 2, 0, "", "   rob@news.example\r\n"},
                      ServerAnswer{"Ignore", 5, 0, "", ""}),
    [](const auto& info) { return std::string(info.param.Name); });
} // namespace
