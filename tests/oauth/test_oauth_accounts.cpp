// OAuth 2.0 accounts against the test Dovecot, which checks each token with
// the local test provider: the browser sign-in, checks that log in with
// either mechanism, renewed tokens, and sign-ins that no longer work.
#include "app/qt/oauth_sign_in.h"
#include "platform/qt/http_token_endpoint.h"
#include "server/mail_server.h"
#include "server/stripping_relay.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrlQuery>
#include <condition_variable>
#include <map>
#include <thread>

namespace {

using namespace std::chrono_literals;

// What a relay hides from the client: STARTTLS, so that it sees the
// mechanism that the client chose; and the offer of OAUTHBEARER and of IMAP's
// initial response in the command (SASL-IR) too.
constexpr const char* kHideStartTls = "STLS\r\n| STARTTLS";
constexpr const char* kHideOAuthBearer = "STLS\r\n| STARTTLS| SASL-IR| (AUTH=)?OAUTHBEARER";

QString ProviderUrl() {
    return qEnvironmentVariable("DROSSGATE_TEST_OAUTH_URL");
}

// A control request to the provider ("stats" is read, the others posted).
QJsonObject Control(const QString& what) {
    QNetworkAccessManager network;
    QNetworkRequest request(QUrl(ProviderUrl() + "/control/" + what));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    request.setTransferTimeout(20000);
    QNetworkReply* reply =
        what == "stats" ? network.get(request) : network.post(request, QByteArray());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return QJsonDocument::fromJson(reply->readAll()).object();
}

// The provider's counts of refreshed tokens and of tokens the server checked.
std::pair<int, int> Counts() {
    const QJsonObject stats = Control("stats");
    return {stats["refresh_requests"].toInt(), stats["introspections"].toInt()};
}

// The fixture is also the user, who never signs in again when asked, and
// the desktop, which hears of the end of each check.
class OAuthAccounts : public testing::Test, public ISignInPrompt, public ICheckEvents {
  protected:
    int AskSignInAgain(const SignInQuestion& question) override {
        std::lock_guard guard(lock);
        asked.push_back(question);
        return 2;
    }
    void CheckEnded(const CheckSummary& summary) override {
        std::lock_guard guard(lock);
        summaries.push_back(summary);
        changed.notify_all();
    }
    void SetUp() override {
        if (ProviderUrl().isEmpty() || !CTestMailServer::Available())
            GTEST_SKIP() << "no test provider (run under scripts/test_mailserver run --)";
        app.InstallPath = dir.Path();
        app.TokenEndpoint = &endpoint;
        app.SignInPrompt = this;
        app.CheckEvents = this;
        app.ServerTimeoutMsOverride = 20000;
        app.Pop3Port = CTestMailServer::Pop3Port();
        app.ImapPort = CTestMailServer::ImapPort();
        UseTestLists(app);
        Control("lifetime?seconds=3600");
        Control("rotate?on=0");
    }

    OAuthAccount Account(char type, const std::string& user, const std::string& client) const {
        const std::string url = ProviderUrl().toStdString();
        return {
            type, "127.0.0.1", user, {url + "/authorize", url + "/token", "mail", client, ""}, ""};
    }

    // The browser sign-in, kept as the windows keep it. The scripted browser
    // first sends the sign-in's port a forged answer, then follows the
    // provider's redirect there. 1 signed in, 0 declined, -1 failed.
    int SignIn(char type, const std::string& user, const std::string& client = "drossgate-test") {
        const OAuthAccount account = Account(type, user, client);
        COAuthSignIn signIn(endpoint);
        signIn.Allowance = 30s; // then it ends, declined
        QNetworkAccessManager browser;
        signIn.OpenBrowser = [&](const QUrl& url) {
            QUrl forged(QUrlQuery(url).queryItemValue("redirect_uri", QUrl::FullyDecoded));
            forged.setQuery("code=forged&state=forged");
            browser.get(QNetworkRequest(forged));
            browser.get(QNetworkRequest(url));
            return true;
        };
        int result = -2;
        QEventLoop loop;
        QObject::connect(&signIn, &COAuthSignIn::Finished, &loop,
                         [&](int finished, const TokenGrant& grant, const QString&) {
                             result = finished;
                             granted = grant;
                             EXPECT_TRUE(finished != 1 || app.KeepOAuthSignIn(account, grant) == 1);
                             loop.quit();
                         });
        QString why;
        if (!signIn.Start(account, why))
            return -3;
        request = QUrlQuery(signIn.AuthorizationRequest());
        loop.exec();
        return result;
    }

    // One check of `accounts` (account file lines): the outcome by account.
    std::map<std::string, AccountOutcome> Check(const std::string& accounts) {
        dir.Write(kAccountFileName, accounts);
        std::unique_lock guard(lock);
        const size_t before = summaries.size();
        app.CheckNow();
        EXPECT_TRUE(changed.wait_for(guard, 120s, [&] { return summaries.size() > before; }));
        std::map<std::string, AccountOutcome> outcomes;
        for (size_t i = before; i < summaries.size(); ++i)
            for (const AccountOutcome& outcome : summaries[i].Accounts)
                outcomes[outcome.Account] = outcome;
        guard.unlock();
        EXPECT_TRUE(app.WaitForCheckToFinish(60s));
        return outcomes;
    }

    // A friend's mail and one from a blocked domain in the user's inbox.
    static void DeliverTwo(const std::string& user) {
        CTestMailServer::ResetMailbox(user);
        for (const char* from : {"ann@friends.example", "offers@spam.example"})
            CTestMailServer::Deliver(user, filter_test::MessageText({.From = from}));
    }

    int Login(bool imap, const std::string& user) {
        return app.TestAccount("127.0.0.1", user, kOAuthPasswordMarker, imap);
    }

    CHttpTokenEndpoint endpoint{10s};
    std::mutex lock;
    std::condition_variable changed;
    std::vector<SignInQuestion> asked;
    std::vector<CheckSummary> summaries;
    CTempDir dir;
    CFilterApp app;
    QUrlQuery request; // the last sign-in's request
    TokenGrant granted;
};

// The sign-in asks with PKCE (S256) and a state, takes only the answer that
// carries that state, and stores the refresh token in OAuth.txt (no
// keyring). Each protocol then checks with OAUTHBEARER, which Dovecot offers
// besides XOAUTH2, and with XOAUTH2 once a relay hides OAUTHBEARER (and
// SASL-IR): the friend's mail stays, the blocked sender's is deleted.
TEST_F(OAuthAccounts, BrowserSignInThenChecksWithEitherMechanism) {
    EXPECT_EQ(SignIn('I', "user1", "deny-me"), 0);
    OAuthAccount stored;
    EXPECT_EQ(app.ReadOAuthSignIn('I', "127.0.0.1", "user1", stored), 0);
    ASSERT_EQ(SignIn('I', "user1"), 1);
    EXPECT_EQ(request.queryItemValue("code_challenge_method"), "S256");
    EXPECT_GE(request.queryItemValue("state").size(), 16);
    EXPECT_TRUE(granted.RefreshToken.starts_with("rt-"));
    EXPECT_NE(dir.Read(kOAuthFileName).find("|" + granted.RefreshToken), std::string::npos);
    namespace fs = std::filesystem; // the file is its owner's only
    EXPECT_EQ(fs::status(dir.File(kOAuthFileName)).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(app.ReadOAuthSignIn('I', "127.0.0.1", "user1", stored), 1);
    EXPECT_EQ(stored.RefreshToken, granted.RefreshToken);
    ASSERT_EQ(SignIn('P', "user2"), 1);

    for (const bool imap : {true, false})
        for (const bool bearer : {true, false}) {
            const std::string user = imap ? "user1" : "user2";
            DeliverTwo(user);
            CStrippingRelay relay(imap ? CTestMailServer::ImapPort() : CTestMailServer::Pop3Port(),
                                  bearer ? kHideStartTls : kHideOAuthBearer);
            app.Pop3Port = app.ImapPort = relay.Port();
            const AccountOutcome outcome = Check(
                std::string(imap ? "I" : "P") + "|Mail|127.0.0.1|" + user + "|<oauth>\r\n")["Mail"];
            const std::string sent = relay.ClientSent();
            const char* mechanism = bearer ? "OAUTHBEARER" : "XOAUTH2";
            EXPECT_NE(sent.find(mechanism), std::string::npos) << mechanism << " " << imap;
            EXPECT_EQ(sent.find(bearer ? "XOAUTH2" : "OAUTHBEARER"), std::string::npos);
            EXPECT_EQ(outcome.Problem, LoginProblem::None) << mechanism << " " << imap;
            EXPECT_EQ(std::pair(outcome.Judged, outcome.Deleted), std::pair(2, 1));
            EXPECT_EQ(CTestMailServer::Messages(user).size(), 1u);
            EXPECT_EQ(CTestMailServer::CountContaining(user, "From: ann@friends.example"), 1);
        }
    EXPECT_TRUE(asked.empty());
}

// A token near its end is renewed before the login, so the server sees only
// the new one; a token the server refuses though the clock says it is good
// is renewed once, and the login goes through without asking the user; a
// refresh token the provider replaces is stored in its place.
TEST_F(OAuthAccounts, TokensRenewedBeforeTheyRunOutOnceAfterARefusalAndWhenRotated) {
    Control("lifetime?seconds=3");
    ASSERT_EQ(SignIn('I', "user3"), 1);
    Control("lifetime?seconds=3600");
    ASSERT_EQ(SignIn('P', "user3"), 1);
    std::this_thread::sleep_for(3500ms); // the IMAP account's token has run out
    auto [refreshed, checked] = Counts();
    EXPECT_EQ(Login(true, "user3"), 1);
    EXPECT_EQ(Counts(), std::pair(refreshed + 1, checked + 1));

    // From here on over implicit TLS (the login above upgraded with STARTTLS).
    app.ImapPort = CTestMailServer::ImapsPort();
    app.Pop3Port = std::atoi(CTestMailServer::Env("POP3S_PORT").c_str());
    for (const bool imap : {true, false}) {
        Control("expire?user=user3");
        std::tie(refreshed, checked) = Counts();
        EXPECT_EQ(Login(imap, "user3"), 1);
        EXPECT_EQ(Counts(), std::pair(refreshed + 1, checked + 2)) << imap;
        EXPECT_EQ(Login(imap, "user3"), 1); // the renewed token is held
        EXPECT_EQ(Counts(), std::pair(refreshed + 1, checked + 3)) << imap;
    }

    // A provider that replaces the refresh token at each renewal: the new
    // one is stored, and it is the one the next renewal spends.
    Control("rotate?on=1");
    for (int renewal = 0; renewal < 2; ++renewal) {
        Control("expire?user=user3");
        EXPECT_EQ(Login(false, "user3"), 1) << renewal;
    }
    OAuthAccount stored;
    ASSERT_EQ(app.ReadOAuthSignIn('P', "127.0.0.1", "user3", stored), 1);
    EXPECT_NE(stored.RefreshToken, granted.RefreshToken);
    EXPECT_EQ(Counts().first, refreshed + 3);

    // A token too long for POP3's AUTH line follows the server's "+": the
    // server checks it (and, unknown to the provider, refuses it).
    TokenGrant longToken;
    longToken.AccessToken = "at-" + std::string(2000, 'x');
    ASSERT_EQ(app.KeepOAuthSignIn(stored, longToken), 1);
    std::tie(refreshed, checked) = Counts();
    EXPECT_EQ(Login(false, "user3"), 1);
    EXPECT_EQ(Counts(), std::pair(refreshed + 1, checked + 2));
    EXPECT_TRUE(asked.empty());
}

// A revoked sign-in (here with XOAUTH2) asks the user once and, declined,
// logs in nowhere; a provider that cannot be reached asks nobody. Neither
// deletes any mail.
TEST_F(OAuthAccounts, RevokedSignInOrUnreachableProviderDeletesNothing) {
    ASSERT_EQ(SignIn('I', "user4"), 1);
    // A port that is bound but never listens refuses every connection.
    const int closed = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(closed, reinterpret_cast<sockaddr*>(&address), length), 0);
    ::getsockname(closed, reinterpret_cast<sockaddr*>(&address), &length);
    OAuthAccount down = Account('P', "user5", "drossgate-test");
    down.Client.TokenUrl = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/token";
    TokenGrant refreshOnly;
    refreshOnly.RefreshToken = "rt-never-asked";
    ASSERT_EQ(app.KeepOAuthSignIn(down, refreshOnly), 1);
    Control("revoke?user=user4");
    DeliverTwo("user4");
    DeliverTwo("user5");
    const auto checked = Counts().second;
    CStrippingRelay relay(CTestMailServer::ImapPort(), kHideOAuthBearer);
    app.ImapPort = relay.Port();
    auto outcomes =
        Check("I|Revoked|127.0.0.1|user4|<oauth>\r\nP|Down|127.0.0.1|user5|<oauth>\r\n");
    ::close(closed);
    EXPECT_EQ(outcomes["Revoked"].Problem, LoginProblem::SignInNeeded);
    EXPECT_EQ(outcomes["Down"].Problem, LoginProblem::ProviderUnreachable);
    EXPECT_EQ(outcomes["Revoked"].Judged + outcomes["Down"].Judged, 0);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].User, "user4");
    EXPECT_NE(asked[0].ProviderText.find("invalid_grant"), std::string::npos);
    EXPECT_EQ(Counts().second, checked + 1); // only the revoked token reached the server
    EXPECT_NE(relay.ClientSent().find("AUTHENTICATE XOAUTH2\r\n"), std::string::npos);
    EXPECT_EQ(CTestMailServer::Messages("user4").size(), 2u);
    EXPECT_EQ(CTestMailServer::Messages("user5").size(), 2u);
}

} // namespace
