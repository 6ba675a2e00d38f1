// The check cycle: account lines, flags, timers, two accounts against scripted servers.
#include "app/core/check_cycle.h"
#include "fake_keyring.h"
#include "session_fixture.h"
#include "store/account_passwords.h"

#include <future>

namespace {

using namespace std::chrono_literals;

// The summaries a check hands to the desktop.
struct CRecordingEvents : ICheckEvents {
    void CheckEnded(const CheckSummary& summary) override {
        std::lock_guard guard(lock);
        seen.push_back(summary);
        changed.notify_all();
    }
    bool WaitFor(size_t count) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, 20s, [&] { return seen.size() >= count; });
    }
    std::mutex lock;
    std::condition_variable changed;
    std::vector<CheckSummary> seen;
};

class CheckCycle : public testing::Test {
  protected:
    CheckCycle() {
        app.InstallPath = dir.Path();
        app.ServerTimeoutMsOverride = 2000;
    }
    ~CheckCycle() override {
        app.Keyring = nullptr;
        app.LoginPrompt = nullptr;
        app.CheckEvents = nullptr;
    }
    void Accounts(const std::string& text) { dir.Write(kAccountFileName, text); }

    CTempDir dir;
    CFilterApp app;
};

// While one account's login prompt waits, the other's batch (its password in the keyring) is
// judged and a later cycle replaces the session tables; the waiting session stays valid and
// finishes.
TEST_F(CheckCycle, SlowLoginPromptWhileAnotherBatchIsJudged) {
    UseTestLists(app);
    CFakeKeyring keyring;
    keyring.Entries[KeyringAccountKey(dir.Path(), 'I', "Work", "127.0.0.1", "u")] = "p";
    app.Keyring = &keyring;
    const auto pop3Script = Steps(HappyPath(Protocol::Pop3, 2, {1}));
    const auto imapScript = Steps(HappyPath(Protocol::Imap, 3, {1, 3}));
    CFakeServer pop3(pop3Script), imap(imapScript);
    CScriptedLogin login({{true, "u", "p"}});
    std::promise<void> asked, answer;
    login.BeforeAnswer = [&, answered = answer.get_future().share()] {
        asked.set_value();
        answered.wait();
    };
    app.LoginPrompt = &login;
    CRecordingEvents events;
    app.CheckEvents = &events;
    app.Pop3Port = pop3.Port();
    app.ImapPort = imap.Port();
    Accounts("I|Work|127.0.0.1|u|<keyring>\r\nP|Home|127.0.0.1|u|*\r\n");
    app.CheckNow();
    // No ASSERT until the prompt is answered: the session would wait forever.
    EXPECT_EQ(asked.get_future().wait_for(20s), std::future_status::ready);
    std::shared_ptr<CImapSession> work;
    { // the worker ends its cycle before it lets go of AppLock
        std::lock_guard cycleStarted(app.AppLock);
        std::lock_guard guard(app.CycleLock);
        work = app.ImapSessions.empty() ? nullptr : app.ImapSessions[0];
    }
    EXPECT_TRUE(work && work->WaitUntilEnded(30s) &&
                work->Verdicts == std::vector<unsigned char>({0, 1, 0}));
    EXPECT_TRUE(imap.WaitDone());
    EXPECT_EQ(imap.Received(), ClientSide(imapScript));
    Accounts("");
    app.RunMailCheck();
    EXPECT_TRUE(app.Pop3Sessions.empty());
    EXPECT_EQ(app.RunningSessionCount(), 1);
    answer.set_value();
    ASSERT_TRUE(app.WaitForCheckToFinish(30s));
    EXPECT_TRUE(pop3.WaitDone());
    EXPECT_EQ(pop3.Received(), ClientSide(pop3Script));
    EXPECT_EQ(app.GetHistorySize(), 5u);
    EXPECT_FALSE(app.CheckBusy || app.CycleRunning);
    EXPECT_EQ(app.RunningSessionCount(), 0);
    // One summary for the whole check, however the sessions overlapped.
    ASSERT_TRUE(events.WaitFor(1));
    app.CheckEvents = nullptr;
    ASSERT_EQ(events.seen.size(), 1u);
    const CheckSummary& summary = events.seen[0];
    EXPECT_EQ(std::pair(summary.Judged(), summary.Deleted()), std::pair(5, 3));
    EXPECT_EQ(summary.Accounts.size(), 2u);
    EXPECT_EQ(app.CheckReport.Last().EndedAt, summary.EndedAt);
}

struct CRecordingTimers : ICheckTimers {
    void StartTimer(int id, long long periodMs) override {
        Calls.push_back("start " + std::to_string(id) + " " + std::to_string(periodMs));
    }
    void StopTimer(int id) override { Calls.push_back("stop " + std::to_string(id)); }
    std::vector<std::string> Calls;
};

// Account lines split by type without dead ones; a busy tick postpones the check, the
// retry restarts the check timer; a check while a cycle starts does not read the accounts.
TEST_F(CheckCycle, AccountLinesBusyTicksAndChecksWhileACycleStarts) {
    Accounts("P|A|s1|u|p\r\n-->ad|x|y|z<--\r\nI|B|s2|u|*\r\n\r\nX|C|s3|u|p\r\nP\r\n");
    EXPECT_EQ(app.ReadAccountLists(), 1);
    EXPECT_EQ(app.Pop3AccountLines, (std::vector<std::string>{"A|s1|u|p", ""}));
    EXPECT_EQ(app.ImapAccountLines, (std::vector<std::string>{"B|s2|u|*", "", "C|s3|u|p"}));
    std::filesystem::remove(dir.File(kAccountFileName));
    EXPECT_EQ(app.ReadAccountLists(), -1);
    EXPECT_TRUE(app.Pop3AccountLines.empty() && app.ImapAccountLines.empty());
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

    Accounts("P|One|127.0.0.1|u|p\r\n");
    app.CycleRunning = true;
    app.CheckNow();
    ASSERT_TRUE(app.WaitForCheckToFinish(30s));
    EXPECT_TRUE(app.CheckBusy); // cleared by the running cycle's end only
    app.CycleRunning = false;
    app.CheckRequested = false;
    app.RunMailCheck();
    EXPECT_TRUE(app.Pop3AccountLines.empty());
}

} // namespace
