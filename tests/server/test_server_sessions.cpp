// Sessions against the real test Dovecot, plain and over implicit TLS: only
// the message judged for deletion leaves the Maildir; an untrusted
// certificate is refused before any byte of the dialogue.
#include "core/filter_fixture.h"
#include "core/session_fixture.h"
#include "mail/imap_session.h"
#include "mail/pop3_session.h"
#include "mail_server.h"

namespace {

using namespace std::chrono_literals;

std::string Note(const std::string& subject) {
    filter_test::Mail mail;
    mail.Subject = subject;
    return filter_test::MessageText(mail);
}

void DeliverThree(const std::string& user) {
    CTestMailServer::ResetMailbox(user);
    for (const char* subject : {"keep one", "drop two", "keep three"})
        CTestMailServer::Deliver(user, Note(subject));
}

struct ServerCase {
    const char* Name;
    bool Imap;
    bool Tls;
    const char* User;
};

class ServerSession : public testing::TestWithParam<ServerCase> {};

TEST_P(ServerSession, DeletesExactlyTheJudgedMessage) {
    SKIP_WITHOUT_MAIL_SERVER();
    const ServerCase& c = GetParam();
    CScopedEnv trust("SSL_CERT_FILE", CTestMailServer::CaFile());
    DeliverThree(c.User);
    CTempDir dir;
    CFilterApp app;
    app.InstallPath = dir.Path();
    std::shared_ptr<CMailSession> session;
    if (c.Imap)
        session = std::make_shared<CImapSession>(app);
    else
        session = std::make_shared<CPop3Session>(app);
    session->ServerName = "127.0.0.1";
    session->UserName = c.User;
    session->Password = CTestMailServer::Password(c.User);
    session->ReceiveTimeout = 20s;
    session->JudgeHook = [](const std::vector<std::string>& batch) {
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
    EXPECT_FALSE(session->EndedWithFailure()) << app.GetLastStatusText();
    EXPECT_EQ(session->Messages.size(), 3u);
    EXPECT_EQ(CTestMailServer::Messages(c.User).size(), 2u);
    EXPECT_EQ(CTestMailServer::CountContaining(c.User, "Subject: drop two"), 0);
    EXPECT_EQ(CTestMailServer::CountContaining(c.User, "Subject: keep one"), 1);
    EXPECT_EQ(CTestMailServer::CountContaining(c.User, "Subject: keep three"), 1);
}

INSTANTIATE_TEST_SUITE_P(All, ServerSession,
                         testing::Values(ServerCase{"Pop3", false, false, "user1"},
                                         ServerCase{"Imap", true, false, "user2"},
                                         ServerCase{"Pop3OverTls", false, true, "user3"},
                                         ServerCase{"ImapOverTls", true, true, "user4"}),
                         [](const testing::TestParamInfo<ServerCase>& info) {
                             return info.param.Name;
                         });

TEST(ServerTls, UntrustedCertificateIsRefusedWithNothingDeleted) {
    SKIP_WITHOUT_MAIL_SERVER();
    CScopedEnv trust("SSL_CERT_FILE", CTestMailServer::OtherCaFile());
    DeliverThree("user5");
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
    EXPECT_EQ(CTestMailServer::Messages("user5").size(), 3u);
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
