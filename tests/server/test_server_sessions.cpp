// Sessions against the real test Dovecot (POP3 with its commands sent ahead),
// plain and over implicit TLS, also with another client expunging meanwhile;
// an untrusted certificate is refused before any byte of the dialogue; the
// account test.
#include "core/session_fixture.h"
#include "mail_server.h"

#include <algorithm>

namespace {

using namespace std::chrono_literals;

const std::vector<std::string> kSubjects = {"keep 1", "drop 2", "keep 3", "drop 4"};

void DeliverFour(const std::string& user) {
    CTestMailServer::ResetMailbox(user);
    for (const std::string& subject : kSubjects) {
        filter_test::Mail mail;
        mail.Subject = subject;
        CTestMailServer::Deliver(user, filter_test::MessageText(mail));
    }
}

// Another mail program on the same inbox: marks message `number` deleted and
// expunges it.
void ExpungeAsOtherClient(const char* user, int number) {
    CServerConnection other;
    ASSERT_EQ(other.Connect(CTestMailServer::ImapPort(), "127.0.0.1", 20s), 1);
    // The greeting is read as an untagged line of the first response.
    for (const std::string& command :
         {std::string("LOGIN ") + user + " " + CTestMailServer::Password(user),
          std::string("SELECT INBOX"), "STORE " + std::to_string(number) + " +FLAGS (\\Deleted)",
          std::string("EXPUNGE")}) {
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

enum class OtherClient { Away, ExpungesBeforeSecondFetch, ExpungesWhileJudged };

struct ServerCase {
    const char* Name;
    bool Imap, Tls;
    const char* User;
    std::vector<std::string> Left; // in the Maildir afterwards
    OtherClient Other = OtherClient::Away;
    int Expunged = 0;
    int Pop3Depth = 0; // POP3 commands sent ahead (0: the default)
};

class ServerSession : public testing::TestWithParam<ServerCase> {};

// A session judges mail whose subject begins with "drop" spam. Only that
// mail leaves by its hand, also when another program expunges meanwhile;
// a session that has seen an EXPUNGE sends no STORE.
TEST_P(ServerSession, OnlyCondemnedMailLeavesBySession) {
    SKIP_WITHOUT_MAIL_SERVER();
    const ServerCase& c = GetParam();
    CScopedEnv trust("SSL_CERT_FILE", CTestMailServer::CaFile());
    DeliverFour(c.User);
    CTempDir dir;
    CFilterApp app;
    app.InstallPath = dir.Path();
    auto imap = std::make_shared<CImapFetchHook>(app);
    std::shared_ptr<CMailSession> session = imap;
    auto pop3 = std::make_shared<CPop3Session>(app);
    if (!c.Imap)
        session = pop3;
    if (c.Pop3Depth > 0)
        pop3->PipelineDepth = c.Pop3Depth;
    session->ServerName = "127.0.0.1";
    session->UserName = c.User;
    session->Password = CTestMailServer::Password(c.User);
    session->ReceiveTimeout = 20s;
    if (c.Other == OtherClient::ExpungesBeforeSecondFetch)
        imap->BeforeSecondFetch = [&] { ExpungeAsOtherClient(c.User, c.Expunged); };
    session->JudgeHook = [&](const std::vector<std::string>& batch) {
        if (c.Other == OtherClient::ExpungesWhileJudged) {
            ExpungeAsOtherClient(c.User, c.Expunged);
            imap->KeepAlive(); // a tick of the keep-alive while the batch waits
            EXPECT_TRUE(imap->SawExpunge());
        }
        std::vector<unsigned char> verdicts;
        for (const std::string& text : batch)
            verdicts.push_back(text.find("Subject: drop") == std::string::npos ? 1 : 0);
        return verdicts;
    };
    int port = c.Imap ? (c.Tls ? CTestMailServer::ImapsPort() : CTestMailServer::ImapPort())
                      : (c.Tls ? CTestMailServer::Pop3sPort() : CTestMailServer::Pop3Port());
    ASSERT_EQ(session->ConnectToServer(port), 1) << session->ConnectFailure();
    EXPECT_EQ(session->IsTls(), c.Tls);
    session->StartStep();
    ASSERT_TRUE(session->WaitUntilEnded(120s));
    // The server offers pipelining: the POP3 commands went out ahead.
    EXPECT_TRUE(c.Imap || pop3->Pipelining());
    EXPECT_EQ(CTestMailServer::Messages(c.User).size(), c.Left.size());
    for (const std::string& subject : kSubjects)
        EXPECT_EQ(CTestMailServer::CountContaining(c.User, "Subject: " + subject),
                  std::count(c.Left.begin(), c.Left.end(), subject))
            << subject;
}

const std::vector<std::string> kKept = {"keep 1", "keep 3"};

INSTANTIATE_TEST_SUITE_P(
    All, ServerSession,
    testing::Values(ServerCase{"Pop3InTwos", false, false, "user1", kKept, OtherClient::Away, 0, 2},
                    ServerCase{"Imap", true, false, "user2", kKept},
                    ServerCase{"Pop3OverTls", false, true, "user3", kKept},
                    ServerCase{"ImapOverTls", true, true, "user4", kKept},
                    ServerCase{"ImapFetchedMessageExpungedWhileFetching",
                               true,
                               false,
                               "user15",
                               {"keep 3"},
                               OtherClient::ExpungesBeforeSecondFetch,
                               1},
                    ServerCase{"ImapUnfetchedMessageExpungedWhileFetching",
                               true,
                               false,
                               "user16",
                               {"keep 1", "drop 2", "drop 4"},
                               OtherClient::ExpungesBeforeSecondFetch,
                               3},
                    ServerCase{"ImapExpungeWhileJudged",
                               true,
                               false,
                               "user17",
                               {"drop 2", "keep 3", "drop 4"},
                               OtherClient::ExpungesWhileJudged,
                               1}),
    [](const testing::TestParamInfo<ServerCase>& info) { return info.param.Name; });

TEST(ServerTls, UntrustedCertificateIsRefusedWithNothingDeleted) {
    SKIP_WITHOUT_MAIL_SERVER();
    CScopedEnv trust("SSL_CERT_FILE", CTestMailServer::OtherCaFile());
    DeliverFour("user5");
    CTempDir dir;
    CFilterApp app;
    app.InstallPath = dir.Path();
    for (int port : {CTestMailServer::Pop3sPort(), CTestMailServer::ImapsPort()}) {
        CPop3Session session(app);
        session.ServerName = "127.0.0.1";
        session.ReceiveTimeout = 20s;
        EXPECT_EQ(session.ConnectToServer(port), -1);
        EXPECT_NE(session.ConnectFailure().find("certificate"), std::string::npos)
            << session.ConnectFailure();
        EXPECT_EQ(app.GetLastStatusText(), "Connection Error");
        EXPECT_FALSE(session.IsConnected());
    }
    EXPECT_EQ(CTestMailServer::Messages("user5").size(), 4u);
}

TEST(ServerTestAccount, LoginResultsOfBothKinds) {
    SKIP_WITHOUT_MAIL_SERVER();
    const std::string password = CTestMailServer::Password("user6");
    CTempDir dir;
    CFilterApp app;
    app.InstallPath = dir.Path();
    app.Pop3Port = CTestMailServer::Pop3Port();
    app.ImapPort = CTestMailServer::ImapPort();
    app.ServerTimeoutMsOverride = 20000;
    for (bool imap : {false, true}) {
        SCOPED_TRACE(imap ? "IMAP" : "POP3");
        EXPECT_EQ(app.TestAccount("127.0.0.1", "user6", password, imap), 1);
        CScriptedLogin corrected({{true, "user6", password}});
        app.LoginPrompt = &corrected;
        EXPECT_EQ(app.TestAccount("127.0.0.1", "user6", "wrong", imap), 1);
        CScriptedLogin cancelled({});
        app.LoginPrompt = &cancelled;
        EXPECT_EQ(app.TestAccount("127.0.0.1", "user6", "wrong", imap), -3);
        EXPECT_EQ(app.TestAccount("127.0.0.1", "user6", "", imap), -2);
        app.LoginPrompt = nullptr;
        EXPECT_EQ(app.TestAccount("127.0.0.2", "user6", password, imap), 0);
    }
}

} // namespace
