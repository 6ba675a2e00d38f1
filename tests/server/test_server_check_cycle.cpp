// Whole check cycles against the test Dovecot with the real filter: exactly
// the mail the rules condemn leaves the Maildirs (read directly, not through
// the client), and the history holds every message with its reason.
#include "core/temp_dir.h"
#include "mail_server.h"

#include "app/core/filter_app.h"

#include <algorithm>

namespace {

using namespace std::chrono_literals;

class ServerCycle : public testing::TestWithParam<bool> {
  protected:
    void SetUpApp() {
        app.InstallPath = dir.Path();
        app.FilterLevel = 2;     // Normal
        app.NewSenderAction = 1; // new senders become friends, nobody is asked
        app.MailLifeTime = 100000;
        app.ServerTimeoutMsOverride = 20000;
        app.SpamWordList.Set({"cheap pills>5", "winner>5"});
        app.BuildSpamWordTables();
        app.FriendAddresses.Append("ann@friends.example");
        app.BlockedDomains.Append("blocked.example");
    }
    CTempDir dir;
    CFilterApp app;
};

TEST_P(ServerCycle, OnlyCondemnedMailIsDeleted) {
    SKIP_WITHOUT_MAIL_SERVER();
    const bool tls = GetParam();
    const std::string pop3User = tls ? "user9" : "user7", imapUser = tls ? "user10" : "user8";
    CScopedEnv trust("SSL_CERT_FILE", CTestMailServer::CaFile());
    SetUpApp();
    app.Pop3Port = tls ? CTestMailServer::Pop3sPort() : CTestMailServer::Pop3Port();
    app.ImapPort = tls ? CTestMailServer::ImapsPort() : CTestMailServer::ImapPort();
    DeliverMixture(pop3User);
    DeliverMixture(imapUser);
    // Remembered passwords; the IMAP account first in the file, checked second.
    app.AppendAccountRecord(false, "Work", "127.0.0.1", imapUser,
                            CTestMailServer::Password(imapUser));
    app.AppendAccountRecord(true, "Home", "127.0.0.1", pop3User,
                            CTestMailServer::Password(pop3User));

    app.CheckNow();
    ASSERT_TRUE(app.WaitForCheckToFinish(180s));
    ExpectOnlyUncondemnedLeft(pop3User);
    ExpectOnlyUncondemnedLeft(imapUser);
    auto history = app.GetHistorySnapshot();
    ASSERT_EQ(history.size(), 2 * Mixture().size());
    std::vector<std::string> reasons;
    for (const auto& entry : history)
        if (entry->Status == 0)
            reasons.push_back(entry->Reason);
    std::sort(reasons.begin(), reasons.end());
    const std::vector<std::string> perBatch = {"23003", "23006", "23008", "23009", "23009"};
    std::vector<std::string> expected = perBatch;
    expected.insert(expected.end(), perBatch.begin(), perBatch.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(reasons, expected);
}

INSTANTIATE_TEST_SUITE_P(All, ServerCycle, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "OverTls" : "Plain";
                         });

// The first of two accounts unreachable: "Connection Error", and the second
// is not checked at all in this cycle.
TEST(ServerCycleConnect, FirstAccountUnreachableLeavesTheOtherUntouched) {
    SKIP_WITHOUT_MAIL_SERVER();
    CTempDir dir;
    CFilterApp app;
    app.InstallPath = dir.Path();
    app.Pop3Port = CTestMailServer::Pop3Port();
    app.ServerTimeoutMsOverride = 20000;
    app.BlockedDomains.Append("blocked.example");
    filter_test::Mail blocked;
    blocked.From = "news@blocked.example";
    CTestMailServer::ResetMailbox("user11");
    CTestMailServer::Deliver("user11", filter_test::MessageText(blocked));
    const std::string password = CTestMailServer::Password("user11");
    app.AppendAccountRecord(true, "Gone", "127.0.0.2", "user11", password);
    app.AppendAccountRecord(true, "Here", "127.0.0.1", "user11", password);
    app.CheckNow();
    ASSERT_TRUE(app.WaitForCheckToFinish(60s));
    EXPECT_EQ(app.GetLastStatusText(), "Connection Error");
    EXPECT_EQ(app.GetHistorySize(), 0u);
    EXPECT_EQ(CTestMailServer::Messages("user11").size(), 1u);
}

} // namespace
