// Sessions and a check cycle against the real test Dovecot. Whole cycles with
// the real filter run the program as a process (tests/process/test_end_to_end.cpp).
#include "core/session_fixture.h"
#include "mail_server.h"

namespace {

using namespace std::chrono_literals;

// Subjects "keep 1", "drop 2", ..., "keep 5": the session judges "drop" spam. The
// fifth message gives a STORE by number sent after an EXPUNGE (2,4 once 1 is
// gone) something to hit.
std::string Subject(int n) {
    return (n % 2 ? "keep " : "drop ") + std::to_string(n);
}

void DeliverFive(const std::string& user) {
    CTestMailServer::ResetMailbox(user);
    for (int n = 1; n <= 5; ++n)
        CTestMailServer::Deliver(user, filter_test::MessageText({.Subject = Subject(n)}));
}

// Another mail program on the same inbox: marks message `number` deleted and
// expunges it, or leaves it marked.
void ExpungeAsOtherClient(const char* user, int number, bool expunge = true) {
    CServerConnection other;
    ASSERT_EQ(other.Connect(CTestMailServer::ImapPort(), "127.0.0.1", 20s), 1);
    // The greeting is read as an untagged line of the first response.
    for (const std::string& command :
         {"LOGIN " + std::string(user) + " " + CTestMailServer::Password(user),
          std::string("SELECT INBOX"), "STORE " + std::to_string(number) + " +FLAGS (\\Deleted)",
          std::string(expunge ? "EXPUNGE" : "NOOP")}) {
        ASSERT_EQ(other.SendAll("x " + command + "\r\n", 20s), 1);
        CImapResponseCollector reply("x", ReplyLimits{});
        char buffer[4096];
        for (int n = 1; n > 0 && reply.State() == CollectState::NeedMore;)
            if ((n = other.ReceiveSome(buffer, sizeof buffer, 20s)) > 0)
                reply.Feed(std::string_view(buffer, static_cast<size_t>(n)));
        ASSERT_EQ(reply.Status(), TaggedStatus::Ok) << command;
    }
}

class CImapFetchHook : public CImapSession {
  public:
    using CImapSession::CImapSession;
    int FetchMessage() override {
        if (GetMessageNumber() == 2 && BeforeSecondFetch)
            BeforeSecondFetch();
        return CImapSession::FetchMessage();
    }
    std::function<void()> BeforeSecondFetch;
};

enum class OtherClient { Away, ExpungesBeforeSecondFetch, ExpungesWhileJudged, MarksWhileJudged };

struct ServerCase {
    const char* Name;
    bool Imap, Tls;
    const char* User;
    std::string Left; // the numbers of the messages left in the Maildir
    OtherClient Other = OtherClient::Away;
    int Expunged = 0;  // the message the other client expunges
    int Pop3Depth = 0; // POP3 commands sent ahead (0: the default)
};

class ServerSession : public testing::TestWithParam<ServerCase> {};

// Only the condemned mail leaves by the session's hand, also when another
// program expunges or marks mail meanwhile: the server offers UIDPLUS, and the
// session removes exactly its condemned by UID.
TEST_P(ServerSession, OnlyCondemnedMailLeavesBySession) {
    SKIP_WITHOUT_MAIL_SERVER();
    const ServerCase& c = GetParam();
    CScopedEnv trust("SSL_CERT_FILE", CTestMailServer::CaFile());
    DeliverFive(c.User);
    CTempDir dir;
    CFilterApp app;
    app.InstallPath = dir.Path();
    auto imap = std::make_shared<CImapFetchHook>(app);
    auto pop3 = std::make_shared<CPop3Session>(app);
    std::shared_ptr<CMailSession> session = c.Imap ? std::shared_ptr<CMailSession>(imap) : pop3;
    pop3->PipelineDepth = c.Pop3Depth > 0 ? c.Pop3Depth : pop3->PipelineDepth;
    session->ServerName = "127.0.0.1";
    session->UserName = c.User;
    session->Password = CTestMailServer::Password(c.User);
    session->ReceiveTimeout = 20s;
    if (c.Other == OtherClient::ExpungesBeforeSecondFetch)
        imap->BeforeSecondFetch = [&] { ExpungeAsOtherClient(c.User, c.Expunged); };
    session->JudgeHook = [&](const std::vector<std::string>& batch) {
        if (c.Other == OtherClient::MarksWhileJudged)
            ExpungeAsOtherClient(c.User, c.Expunged, false);
        if (c.Other == OtherClient::ExpungesWhileJudged) {
            ExpungeAsOtherClient(c.User, c.Expunged);
            imap->KeepAlive(); // a tick of the keep-alive while the batch waits
            EXPECT_TRUE(imap->SawExpunge());
        }
        std::vector<unsigned char> verdicts;
        for (const std::string& text : batch)
            verdicts.push_back(text.find("Subject: drop") == std::string::npos);
        return verdicts;
    };
    int port = c.Imap ? (c.Tls ? CTestMailServer::ImapsPort() : CTestMailServer::ImapPort())
                      : (c.Tls ? CTestMailServer::Pop3sPort() : CTestMailServer::Pop3Port());
    ASSERT_EQ(session->ConnectToServer(port), 1) << session->ConnectFailure();
    EXPECT_EQ(session->IsTls(), c.Tls);
    session->StartStep();
    ASSERT_TRUE(session->WaitUntilEnded(120s));
    // The server offers pipelining: the POP3 commands went out ahead.
    EXPECT_TRUE(c.Imap ? imap->UidPlus() : pop3->Pipelining());
    EXPECT_EQ(CTestMailServer::Messages(c.User).size(), c.Left.size());
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(CTestMailServer::CountContaining(c.User, "Subject: " + Subject(n)),
                  std::count(c.Left.begin(), c.Left.end(), '0' + n))
            << n;
}

using enum OtherClient;
INSTANTIATE_TEST_SUITE_P(
    All, ServerSession,
    testing::Values(ServerCase{"Pop3InTwos", false, false, "user1", "135", Away, 0, 2},
                    ServerCase{"Imap", true, false, "user2", "135"},
                    ServerCase{"Pop3OverTls", false, true, "user3", "135"},
                    ServerCase{"ImapOverTls", true, true, "user4", "135"},
                    ServerCase{"ImapFetchedMessageExpungedWhileFetching", true, false, "user15",
                               "35", ExpungesBeforeSecondFetch, 1},
                    ServerCase{"ImapUnfetchedMessageExpungedWhileFetching", true, false, "user16",
                               "1245", ExpungesBeforeSecondFetch, 3},
                    ServerCase{"ImapExpungeWhileJudged", true, false, "user17", "35",
                               ExpungesWhileJudged, 1},
                    ServerCase{"ImapKeptMailMarkedByOtherStays", true, false, "user6", "135",
                               MarksWhileJudged, 1}),
    [](const testing::TestParamInfo<ServerCase>& info) { return info.param.Name; });

// The first account unreachable: "Connection Error", and the second is not
// checked in this cycle.
TEST(ServerCycleConnect, FirstAccountUnreachableLeavesTheOtherUntouched) {
    SKIP_WITHOUT_MAIL_SERVER();
    CTempDir dir;
    CFilterApp app;
    app.InstallPath = dir.Path();
    app.Pop3Port = CTestMailServer::Pop3Port();
    app.ServerTimeoutMsOverride = 20000;
    app.BlockedDomains.Append("blocked.example");
    CTestMailServer::ResetMailbox("user11");
    CTestMailServer::Deliver("user11", filter_test::MessageText({.From = "news@blocked.example"}));
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
