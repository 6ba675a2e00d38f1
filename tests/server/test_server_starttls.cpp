// The login against the real test Dovecot on its plain ports: STARTTLS with
// the test CA, an untrusted certificate refused, and a man in the middle who
// removes the offer of STARTTLS after it was used, refused until the user
// allows plain text.
#include "core/session_fixture.h"
#include "mail_server.h"
#include "store/login_security.h"
#include "stripping_relay.h"

namespace {

using namespace std::chrono_literals;

class CAnswerPlainText : public IPlainTextPrompt {
  public:
    explicit CAnswerPlainText(int answer) : answer_(answer) {}
    int AskPlainText(const PlainTextQuestion& question) override {
        Asked.push_back(question);
        return answer_;
    }
    std::vector<PlainTextQuestion> Asked;

  private:
    int answer_;
};

struct CLoginRun {
    CTempDir dir;
    CFilterApp app;
    CLoginRun() { app.InstallPath = dir.Path(); }
    // One login of `user` on `port`, as the account test does it.
    int Login(bool imap, const std::string& user, int port, bool& tls) {
        auto session = CTestMailServer::Session(imap, app, user);
        session->LoginSecurityPath = dir.File(kLoginSecurityFileName);
        if (session->ConnectToServer(port) != 1)
            return 0;
        const int result = session->Login();
        tls = session->IsTls();
        session->CloseConnection();
        return result;
    }
    LoginSecurity Remembered(bool imap, const std::string& user) {
        return ReadLoginSecurity(dir.File(kLoginSecurityFileName),
                                 LoginSecurityKey(imap ? 'I' : 'P', "127.0.0.1", user));
    }
};

TEST(ServerStartTls, PlainPortsUpgradeAndAStrippedOfferIsRefusedUntilAllowed) {
    SKIP_WITHOUT_MAIL_SERVER();
    for (const bool imap : {false, true}) {
        const std::string user = imap ? "user11" : "user10";
        const std::string password = CTestMailServer::Password(user);
        const int port = imap ? CTestMailServer::ImapPort() : CTestMailServer::Pop3Port();
        CLoginRun run;
        bool tls = false;
        EXPECT_EQ(run.Login(imap, user, port, tls), 1) << run.app.GetLastStatusText();
        EXPECT_TRUE(tls) << imap;
        EXPECT_TRUE(run.Remembered(imap, user).TlsSeen);

        {
            // A certificate from a CA the system does not trust ends the login.
            CScopedEnv untrusted("SSL_CERT_FILE", CTestMailServer::Env("OTHER_CA_FILE"));
            EXPECT_EQ(run.Login(imap, user, port, tls), kLoginTlsFailed);
            EXPECT_EQ(run.app.GetLastStatusText(), kTextTlsFailed);
        }

        // The offer removed on the way: the password stays back, and the
        // user is told that the server no longer offers encryption.
        CAnswerPlainText refuse(2), allow(1);
        for (CAnswerPlainText* answer : {static_cast<CAnswerPlainText*>(nullptr), &refuse}) {
            run.app.PlainTextPrompt = answer;
            CStrippingRelay relay(port);
            EXPECT_EQ(run.Login(imap, user, relay.Port(), tls), kLoginPasswordKept);
            EXPECT_EQ(run.app.GetLastStatusText(), kTextEncryptionGone);
            EXPECT_EQ(relay.ClientSent().find(password), std::string::npos);
        }
        ASSERT_EQ(refuse.Asked.size(), 1u);
        EXPECT_TRUE(refuse.Asked[0].TlsSeen);
        // Allowed once, remembered: the next login needs no question.
        for (CAnswerPlainText* answer : {&allow, static_cast<CAnswerPlainText*>(nullptr)}) {
            run.app.PlainTextPrompt = answer;
            CStrippingRelay relay(port);
            EXPECT_EQ(run.Login(imap, user, relay.Port(), tls), 1);
            EXPECT_FALSE(tls);
            EXPECT_NE(relay.ClientSent().find(password), std::string::npos);
        }
        EXPECT_EQ(allow.Asked.size(), 1u);
        // TLS offered again takes the leave back: a later removal is asked anew.
        EXPECT_EQ(run.Login(imap, user, port, tls), 1);
        EXPECT_TRUE(tls);
        EXPECT_FALSE(run.Remembered(imap, user).PlainAllowed);
        run.app.PlainTextPrompt = nullptr;
    }
}

} // namespace
