// The check cycle: account lines, flags, timers, order of connects, and whole
// cycles against scripted servers with the real filter.
#include "app/core/check_cycle.h"
#include "filter_fixture.h"
#include "mail/imap_session.h"
#include "mail/pop3_session.h"
#include "session_fixture.h"

namespace {

using namespace std::chrono_literals;

class CheckCycle : public testing::Test {
  protected:
    CheckCycle() {
        app.InstallPath = dir.Path();
        app.ServerTimeoutMsOverride = 2000;
        app.MailLifeTime = 1000000; // the test mails never expire
        app.FilterLevel = 2;
    }
    ~CheckCycle() override { app.LoginPrompt = nullptr; }
    void Accounts(const std::string& text) { dir.Write(kAccountFileName, text); }

    CTempDir dir;
    CFilterApp app;
};

TEST_F(CheckCycle, AccountLinesSplitByTypeWithoutDeadLines) {
    Accounts("P|A|s1|u|p\r\n-->ad|x|y|z<--\r\nI|B|s2|u|*\r\n\r\nX|C|s3|u|p\r\nP\r\n");
    EXPECT_EQ(app.ReadAccountLists(), 1);
    EXPECT_EQ(app.Pop3AccountLines, (std::vector<std::string>{"A|s1|u|p", ""}));
    EXPECT_EQ(app.ImapAccountLines, (std::vector<std::string>{"B|s2|u|*", "", "C|s3|u|p"}));
    dir.Write(kAccountFileName, "");
    std::filesystem::remove(dir.File(kAccountFileName));
    EXPECT_EQ(app.ReadAccountLists(), -1);
    EXPECT_TRUE(app.Pop3AccountLines.empty() && app.ImapAccountLines.empty());
}

std::string Pop3Mail(const std::string& text) {
    return "+OK\r\n" + text + ".\r\n";
}
std::string ImapMail(int n, const std::string& text) {
    return "* " + std::to_string(n) + " FETCH (FLAGS () BODY[] {" + std::to_string(text.size()) +
           "}\r\n" + text + ")\r\nA654 OK\r\n";
}

// One POP3 and one IMAP account, each with a friend's mail and a blocked
// domain's: each session deletes exactly its own blocked mail.
TEST_F(CheckCycle, WholeCycleDeletesWhatTheFilterCondemns) {
    app.FriendAddresses.Append("ann@friends.example");
    app.BlockedDomains.Append("spam.example");
    filter_test::Mail friendMail, spamMail;
    friendMail.From = "ann@friends.example";
    spamMail.From = "offers@spam.example";
    spamMail.Subject = "Cheap offers";
    const std::string friendText = filter_test::MessageText(friendMail),
                      spamText = filter_test::MessageText(spamMail);
    std::vector<FakeStep> pop3Script = {
        S("+OK\r\n"),       C("USER pu\r\n"),      S("+OK\r\n"),
        C("PASS pp\r\n"),   S("+OK\r\n"),          C("STAT\r\n"),
        S("+OK 2 900\r\n"), C("RETR 1\r\n"),       S(Pop3Mail(friendText)),
        C("RETR 2\r\n"),    S(Pop3Mail(spamText)), C("DELE 2\r\n"),
        S("+OK\r\n"),       C("Quit\r\n"),         S("+OK\r\n")};
    std::vector<FakeStep> imapScript = {S("* OK\r\n"),
                                        C("a001 LOGIN iu ip\r\n"),
                                        S("a001 OK\r\n"),
                                        C("A142 SELECT INBOX\r\n"),
                                        S("* 2 EXISTS\r\nA142 OK\r\n"),
                                        C("A654 FETCH 1 (FLAGS BODY[])\r\n"),
                                        S(ImapMail(1, spamText)),
                                        C("A654 FETCH 2 (FLAGS BODY[])\r\n"),
                                        S(ImapMail(2, friendText)),
                                        C("A003 STORE 1 FLAGS (\\Deleted)\r\n"),
                                        S("A003 OK\r\n"),
                                        C("A341 CLOSE\r\n"),
                                        S("A341 OK\r\n")};
    CFakeServer pop3(pop3Script), imap(imapScript);
    app.Pop3Port = pop3.Port();
    app.ImapPort = imap.Port();
    Accounts("I|Work|127.0.0.1|iu|ip\r\nP|Home|127.0.0.1|pu|pp\r\n");

    app.CheckNow();
    ASSERT_TRUE(app.WaitForCheckToFinish(30s));
    EXPECT_TRUE(pop3.WaitDone() && imap.WaitDone());
    EXPECT_EQ(pop3.Received(), ClientSide(pop3Script)) << pop3.Failure();
    EXPECT_EQ(imap.Received(), ClientSide(imapScript)) << imap.Failure();
    EXPECT_EQ(app.GetHistorySize(), 4u);
    EXPECT_FALSE(app.CheckBusy || app.CycleRunning);
    EXPECT_EQ(app.RunningSessionCount(), 0);
    std::lock_guard guard(app.CycleLock);
    ASSERT_EQ(app.Pop3Sessions.size(), 1u);
    EXPECT_EQ(app.Pop3Sessions[0]->Verdicts, (std::vector<unsigned char>{1, 0}));
    ASSERT_EQ(app.ImapSessions.size(), 1u);
    EXPECT_EQ(app.ImapSessions[0]->Verdicts, (std::vector<unsigned char>{0, 1}));
}

// The accounts share one port setting; the first lives on an address with
// nothing listening. The cycle ends there: the second is never contacted.
TEST_F(CheckCycle, FirstAccountUnreachableStartsNoSession) {
    CFakeServer second({}, "127.0.0.1");
    app.Pop3Port = second.Port();
    Accounts("P|One|127.0.0.2|u|p\r\nP|Two|127.0.0.1|u|p\r\n");
    testing::internal::CaptureStderr();
    app.CheckNow();
    ASSERT_TRUE(app.WaitForCheckToFinish(30s));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("[One] Connection Error"), std::string::npos) << log;
    EXPECT_EQ(app.GetLastStatusText(), "Connection Error");
    EXPECT_FALSE(app.CheckBusy || app.CycleRunning);
    std::lock_guard guard(app.CycleLock);
    ASSERT_EQ(app.Pop3Sessions.size(), 2u);
    EXPECT_FALSE(app.Pop3Sessions[1]->IsConnected());
    EXPECT_EQ(app.Pop3Sessions[1]->Messages.size(), 0u);
}

TEST_F(CheckCycle, WorkerDoesNothingWhileACycleIsStarting) {
    Accounts("P|One|127.0.0.1|u|p\r\n");
    app.CycleRunning = true;
    app.CheckNow();
    ASSERT_TRUE(app.WaitForCheckToFinish(30s));
    EXPECT_TRUE(app.Pop3AccountLines.empty()); // the file was not even read
    EXPECT_TRUE(app.CheckBusy);                // cleared by the running cycle's end only
    app.CycleRunning = false;
    app.CheckRequested = false;
    app.RunMailCheck();
    EXPECT_TRUE(app.Pop3AccountLines.empty());
}

TEST_F(CheckCycle, OnlyDeadLinesClearFlagsAtOnce) {
    Accounts("-->|x|y|z|<--\r\n");
    app.CheckNow();
    ASSERT_TRUE(app.WaitForCheckToFinish(30s));
    EXPECT_FALSE(app.CheckBusy || app.CycleRunning);
    EXPECT_TRUE(app.Pop3Sessions.empty() && app.ImapSessions.empty());
}

// A session of an earlier cycle (here waiting at its login prompt) stays
// valid and finishes its dialogue while a later cycle replaces the tables.
class CBlockingLogin : public ILoginPrompt {
  public:
    int AskLogin(LoginPromptData& data) override {
        std::unique_lock lock(lock_);
        asked_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_; });
        data.Password = "late";
        return 1;
    }
    bool WaitAsked() {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, 20s, [&] { return asked_; });
    }
    void Release() {
        std::lock_guard guard(lock_);
        released_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool asked_ = false, released_ = false;
};

TEST_F(CheckCycle, EarlierCycleSessionOutlivesItsTables) {
    std::vector<FakeStep> script = {
        S("+OK\r\n"),  C("USER u\r\n"),  S("+OK\r\n"),  C("PASS late\r\n"), S("+OK\r\n"),
        C("STAT\r\n"), S("+OK 0 0\r\n"), C("Quit\r\n"), S("+OK\r\n"),       C("Quit\r\n")};
    CFakeServer server(script);
    CBlockingLogin login;
    app.LoginPrompt = &login;
    app.Pop3Port = server.Port();
    Accounts("P|One|127.0.0.1|u|*\r\n");
    app.CheckNow();
    ASSERT_TRUE(login.WaitAsked());
    // The worker started the session holding AppLock and ends its cycle
    // before it lets go.
    { std::lock_guard cycleStarted(app.AppLock); }
    Accounts("");
    app.RunMailCheck(); // the next cycle, with no accounts
    EXPECT_TRUE(app.Pop3Sessions.empty());
    EXPECT_EQ(app.RunningSessionCount(), 1);
    login.Release();
    ASSERT_TRUE(app.WaitForCheckToFinish(30s));
    EXPECT_TRUE(server.WaitDone());
    EXPECT_EQ(server.Received(), ClientSide(script));
}

class CRecordingTimers : public ICheckTimers {
  public:
    void StartTimer(int id, long long periodMs) override {
        Calls.push_back("start " + std::to_string(id) + " " + std::to_string(periodMs));
    }
    void StopTimer(int id) override { Calls.push_back("stop " + std::to_string(id)); }
    std::vector<std::string> Calls;
};

TEST_F(CheckCycle, BusyTickPostponesAndRetryRestartsTheCheckTimer) {
    CRecordingTimers timers;
    app.Timers = &timers;
    app.CheckBusy = true;
    app.CheckInterval = 0;
    app.OnTimer(kCheckTimerId);
    app.OnTimer(kRetryTimerId);
    app.CheckInterval = 1000000000;
    app.OnTimer(kRetryTimerId);
    EXPECT_EQ(timers.Calls,
              (std::vector<std::string>{"start 8005 300000", "stop 8003", "start 8003 60000",
                                        "stop 8005", "start 8003 2073600000", "stop 8005"}));
    EXPECT_EQ(app.CheckInterval, 1000000000); // the setting keeps its value
    EXPECT_EQ(app.CheckProgress.RunningWorkers(), 0);

    timers.Calls.clear();
    app.CheckBusy = false;
    app.OnTimer(kCheckTimerId);
    EXPECT_TRUE(app.CheckRequested);
    ASSERT_TRUE(app.WaitForCheckToFinish(30s));
    EXPECT_TRUE(timers.Calls.empty());
    app.Timers = nullptr;
}

TEST(CheckTimerPeriod, ClampedToTimerRange) {
    EXPECT_EQ(CheckTimerPeriodMs(-5), 60000);
    EXPECT_EQ(CheckTimerPeriodMs(5), 300000);
    EXPECT_EQ(CheckTimerPeriodMs(34560), 34560LL * 60000);
    EXPECT_EQ(CheckTimerPeriodMs(34561), 34560LL * 60000);
}

} // namespace
