// OAuth 2.0 sign-in: the SASL messages, the access tokens held and renewed
// by the application, and the logins of both protocols.
#include "fake_keyring.h"
#include "fake_oauth.h"
#include "mail/sasl_oauth.h"
#include "session_fixture.h"

namespace {

TEST(SaslOAuth, MessagesAsTheMechanismsDefineThem) {
    using M = OAuthMechanism;
    // The mechanism chosen and the answer to an error challenge: the logins below.
    // The example of RFC 7628 4.1, Google's of XOAUTH2, a user name escaped as RFC 5801 asks.
    EXPECT_EQ(OAuthInitialResponse(M::OAuthBearer, "user@example.com", "server.example.com", 143,
                                   "vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg=="),
              "bixhPXVzZXJAZXhhbXBsZS5jb20sAWhvc3Q9c2VydmVyLmV4YW1wbGUuY29tAXBvcnQ9MTQzAWF1dGg9QmVh"
              "cmVyIHZGOWRmdDRxbVRjMk52YjNSbGNrQmhiSFJoZG1semRHRXVZMjl0Q2c9PQEB");
    EXPECT_EQ(OAuthInitialResponse(M::XOAuth2, "someuser@example.com", "h", 993,
                                   "ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg"),
              "dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmdDRxbVRjMk52YjNSbGNr"
              "QmhkSFJoZG1semRHRXVZMjl0Q2cBAQ==");
    EXPECT_EQ(OAuthInitialResponse(M::OAuthBearer, "a,b=c", "h", 993, "t"),
              "bixhPWE9MkNiPTNEYywBaG9zdD1oAXBvcnQ9OTkzAWF1dGg9QmVhcmVyIHQBAQ==");
    // RFC 4648's vectors both ways; text that is no base64 decodes to nothing.
    for (std::string plain : {"", "f", "fo", "foo", "foob", "fooba", "foobar"}) {
        std::string decoded = "x";
        EXPECT_TRUE(Base64Decode(" " + Base64Encode(plain) + "\r\n", decoded) && decoded == plain);
    }
    EXPECT_EQ(Base64Encode("fooba"), "Zm9vYmE=");
    std::string ignored;
    for (const char* bad : {"Zm9vY", "Zm9v!A==", "Zm9v\x01g=="})
        EXPECT_FALSE(Base64Decode(bad, ignored)) << bad;
    EXPECT_EQ(DecodeOAuthChallenge(" eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\r\n"),
              R"({"status":"invalid_token"})");
    EXPECT_EQ(DecodeOAuthChallenge(Base64Encode("a\x1b[2J\nb")), "a[2Jb");
    EXPECT_EQ(DecodeOAuthChallenge(Base64Encode(std::string(500, 'j'))), std::string(200, 'j'));
    EXPECT_EQ(DecodeOAuthChallenge("{not base64}"), "");
}

struct CTokenApp {
    CTokenApp() {
        app.InstallPath = dir.Path();
        app.TokenEndpoint = &endpoint;
        app.TokenClock = [this] { return std::chrono::steady_clock::time_point(now); };
    }
    int Token(bool renew, std::string& token, std::string& why) {
        return app.OAuthAccessToken('I', "127.0.0.1", "u", renew, token, why);
    }
    CTempDir dir;
    CFilterApp app;
    CFakeTokenEndpoint endpoint;
    std::chrono::seconds now{0};
};

TEST(OAuthAccess, HeldTokenUntilShortlyBeforeItRunsOut) {
    CTokenApp t;
    const std::string line = "I|127.0.0.1|u|https://id.example/auth|https://id.example/token|mail|"
                             "cid|secret|rt1\r\n";
    t.dir.Write(kOAuthFileName, line);
    // Seconds on the clock, the server refused the last token, the life of
    // a token granted then (0: not said), the token the login gets.
    const std::tuple<int, bool, long long, const char*> steps[] = {
        {0, false, 3600, "at1"},  {3299, false, 0, "at1"}, // 301 s left
        {3300, false, 60, "at2"},                          // 5 minutes left
        {3329, false, 0, "at2"},                           // 31 of its 60 s left
        {3330, false, 0, "at3"},                           // half its life left; an hour
        {6629, false, 0, "at3"},  {6629, true, 0, "at4"},  {6630, false, 0, "at4"},
    };
    for (const auto& [at, renew, life, expected] : steps) {
        t.now = std::chrono::seconds(at);
        t.endpoint.Grant.ExpiresInSeconds = life;
        std::string token, why;
        EXPECT_TRUE(t.Token(renew, token, why) == 1 && token == expected) << at << token;
    }
    ASSERT_EQ(t.endpoint.Forms.size(), 4u);
    EXPECT_EQ(t.endpoint.Urls[0], "https://id.example/token");
    EXPECT_EQ(t.endpoint.Forms[0], (FormFields{{"grant_type", "refresh_token"},
                                               {"refresh_token", "rt1"},
                                               {"client_id", "cid"},
                                               {"client_secret", "secret"}}));
    EXPECT_EQ(t.dir.Read(kOAuthFileName), line); // the provider kept the refresh token
}

TEST(OAuthAccess, RotatedRefreshTokenStoredRefusalsChangeNothing) {
    for (const bool keyring : {false, true}) {
        CTokenApp t;
        CFakeKeyring ring;
        t.app.Keyring = keyring ? &ring : nullptr;
        const std::string key = t.dir.Path() + "|oauth|I|127.0.0.1|u";
        TokenGrant kept;
        kept.AccessToken = "kept";
        ASSERT_EQ(t.app.KeepOAuthSignIn(TestSignIn('I'), kept), 1);
        std::string token, why;
        EXPECT_TRUE(t.Token(false, token, why) == 1 && token == "kept" && t.endpoint.Forms.empty());
        t.endpoint.Grant.RefreshToken = "rt2";
        EXPECT_TRUE(t.Token(true, token, why) == 1 && token == "at1");
        const std::string stored = t.dir.Read(kOAuthFileName);
        EXPECT_TRUE(stored.ends_with(keyring ? "|<keyring>\r\n" : "|rt2\r\n")) << stored;
        EXPECT_EQ(ring.Entries,
                  (keyring ? decltype(ring.Entries){{key, "rt2"}} : decltype(ring.Entries){}));
        t.endpoint.Grant = {};
        t.endpoint.Answer = 0;
        t.endpoint.Grant.Error = "invalid_grant";
        t.endpoint.Grant.Description = "revoked";
        EXPECT_EQ(t.Token(true, token, why), -2);
        EXPECT_EQ(why, "invalid_grant: revoked");
        t.endpoint.Answer = -1;
        t.endpoint.Grant.Error.clear();
        EXPECT_EQ(t.Token(false, token, why), -1);
        EXPECT_EQ(why, "revoked");
        ASSERT_EQ(t.endpoint.Forms.size(), 3u);
        EXPECT_EQ(t.endpoint.Forms[2][1].second, "rt2");
        EXPECT_EQ(t.dir.Read(kOAuthFileName), stored);
        EXPECT_EQ(ring.Entries.size(), keyring ? 1u : 0u);
        t.app.ForgetOAuthSignIn('I', "127.0.0.1", "u");
        EXPECT_TRUE(t.dir.Read(kOAuthFileName).empty() && ring.Entries.empty());
        EXPECT_EQ(t.Token(false, token, why), -2);
        EXPECT_EQ(t.endpoint.Forms.size(), 3u);
    }
}

TEST(OAuthAccess, MissingOrGarbledSignInNeedsANewOne) {
    const std::string tail = "|https://a|https://t|mail|cid|secret|rt\r\n";
    // The text of OAuth.txt and the result.
    const std::pair<std::string, int> cases[] = {
        {"", -2},
        {"I|127.0.0.1|bob" + tail + "P|127.0.0.1|u" + tail, -2}, // other accounts
        {"I|127.0.0.1|u|https://a|https://t|mail|cid\r\n", -2},  // fields missing
        {"I|127.0.0.1|u|https://a||mail|cid|secret|rt\r\n", -2}, // no token URL
        {"I|127.0.0.1|u|https://a|https://t|mail|cid|secret|\r\n", -2},
        {"I|127.0.0.1|u|https://a|https://t|mail|cid|secret|<keyring>\r\n", -2}, // no keyring
        {std::string("\xff\x00|\r\n\r\nI|", 9) + "\r\n" + "I|127.0.0.1|u" + tail, 1},
    };
    for (const auto& [file, result] : cases) {
        CTokenApp t;
        if (!file.empty())
            t.dir.Write(kOAuthFileName, file);
        std::string token, why;
        EXPECT_EQ(t.Token(false, token, why), result) << file;
        EXPECT_EQ(t.endpoint.Forms.size(), result == 1 ? 1u : 0u) << file;
        EXPECT_EQ(t.dir.Read(kOAuthFileName), file);
    }
}

TEST(OAuthLogin, MechanismTokenRenewalAndPrompt) {
    using M = OAuthMechanism;
    using LP = LoginProblem;
    constexpr Protocol Pop3 = Protocol::Pop3, Imap = Protocol::Imap;
    const struct {
        const char* Name;
        Protocol P;
        const char* Offered;
        M Used;
        const char* Answers; // the server's to each token sent: y accepted, n refused
        int SignInAgain;     // the user's answer; 0 not asked
        LP Problem;
        std::string TokenPrefix = "at";
    } cases[] = {
        {"pop3 both", Pop3, "SASL PLAIN XOAUTH2 OAUTHBEARER", M::OAuthBearer, "y", 0, LP::None},
        {"pop3 long token", Pop3, "SASL XOAUTH2", M::XOAuth2, "y", 0, LP::None,
         std::string(300, 't')},
        {"pop3 refused", Pop3, "SASL OAUTHBEARER", M::OAuthBearer, "nn", 2, LP::SignInNeeded},
        {"pop3 none", Pop3, "SASL PLAIN", M::None, "", 0, LP::SignInNotOffered},
        {"pop3 no provider", Pop3, "SASL OAUTHBEARER", M::OAuthBearer, "", 0,
         LP::ProviderUnreachable},
        {"imap both", Imap, "AUTH=XOAUTH2 AUTH=OAUTHBEARER SASL-IR", M::OAuthBearer, "y", 0,
         LP::None},
        {"imap renewed", Imap, "AUTH=PLAIN AUTH=XOAUTH2", M::XOAuth2, "ny", 0, LP::None},
        {"imap signed in", Imap, "AUTH=OAUTHBEARER", M::OAuthBearer, "nny", 1, LP::None},
        {"imap still refused", Imap, "AUTH=OAUTHBEARER", M::OAuthBearer, "nnn", 1,
         LP::SignInNeeded},
        {"imap none", Imap, "AUTH=PLAIN", M::None, "", 0, LP::SignInNotOffered},
    };
    for (const auto& c : cases) {
        const bool pop3 = c.P == Pop3;
        const std::string answers = c.Answers;
        // The tokens of the provider, and the one of the new sign-in third.
        auto tokenOf = [&](size_t i) {
            return i == 2 ? "fresh" : c.TokenPrefix + std::to_string(i + (i < 2));
        };
        auto script = [&](int port) {
            std::vector<FakeStep> steps = Greeting(c.P, c.Offered);
            const std::string command =
                (pop3 ? "AUTH " : "a009 AUTHENTICATE ") + std::string(MechanismName(c.Used));
            for (size_t i = 0; i < answers.size(); ++i) {
                const std::string response =
                    OAuthInitialResponse(c.Used, "u", "127.0.0.1", port, tokenOf(i));
                // POP3: at most 255 bytes on the AUTH line (RFC 5034).
                if (pop3 ? command.size() + response.size() + 3 <= 255
                         : std::string(c.Offered).ends_with("SASL-IR"))
                    steps.push_back(C(command + " " + response + "\r\n"));
                else
                    steps.insert(steps.end(),
                                 {C(command + "\r\n"), S("+ \r\n"), C(response + "\r\n")});
                if (answers[i] == 'y')
                    steps.push_back(S(pop3 ? "+OK\r\n" : "a009 OK done\r\n"));
                else
                    steps.insert(steps.end(),
                                 {S("+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\r\n"),
                                  C(c.Used == M::OAuthBearer ? "AQ==\r\n" : "\r\n"),
                                  S(pop3 ? "-ERR no good\r\n" : "a009 NO no good\r\n")});
            }
            const std::vector<FakeStep> empty =
                pop3 ? std::vector{C("STAT\r\n"), S("+OK 0 0\r\n"), C("Quit\r\n"), S("+OK\r\n")}
                     : std::vector{C("A142 SELECT INBOX\r\n"), S("* 0 EXISTS\r\nA142 OK\r\n"),
                                   C("A341 CLOSE\r\n"), S("A341 OK\r\n")};
            if (c.Problem == LP::None) // an empty mailbox
                steps.insert(steps.end(), empty.begin(), empty.end());
            return steps;
        };
        CSessionRun run;
        CFakeTokenEndpoint endpoint;
        CFakeSignInPrompt prompt;
        run.app.TokenEndpoint = &endpoint;
        run.app.SignInPrompt = &prompt;
        endpoint.TokenPrefix = c.TokenPrefix;
        endpoint.Answer = c.Problem == LP::ProviderUnreachable ? -1 : 1;
        endpoint.Grant.Description = "no route";
        const OAuthAccount account = TestSignIn(pop3 ? 'P' : 'I');
        ASSERT_EQ(WriteOAuthAccount(run.dir.File(kOAuthFileName), account), 1);
        prompt.Answer = [&] {
            TokenGrant fresh;
            fresh.AccessToken = "fresh";
            if (c.SignInAgain == 1)
                run.app.KeepOAuthSignIn(account, fresh);
            return c.SignInAgain;
        };
        std::vector<FakeStep> steps;
        CFakeServer server([&](int port) { return steps = script(port); });
        auto session = run.Run(c.P, server, [](CMailSession& s) { s.UsesOAuth = true; });
        const std::string sent = server.Received(), expected = ClientSide(steps);
        EXPECT_EQ(sent.substr(0, expected.size()), expected) << c.Name;
        EXPECT_EQ(sent.find("AUTH", expected.size()), std::string::npos) << c.Name;
        const AccountOutcome outcome = session->Outcome();
        EXPECT_EQ(outcome.Problem, c.Problem) << c.Name << run.StatusLog;
        EXPECT_EQ(outcome.ServerText, c.Problem == LP::SignInNeeded          ? "no good"
                                      : c.Problem == LP::ProviderUnreachable ? "no route"
                                                                             : "")
            << c.Name;
        const size_t asked = c.Problem == LP::SignInNotOffered ? 0
                             : answers.empty()                 ? 1
                                               : answers.size() - (answers.size() > 2);
        EXPECT_EQ(endpoint.Forms.size(), asked) << c.Name;
        ASSERT_EQ(prompt.Asked.size(), c.SignInAgain ? 1u : 0u) << c.Name;
        for (const SignInQuestion& q : prompt.Asked)
            EXPECT_TRUE(q.Account == "Home" && q.Type == account.Type && q.Server == "127.0.0.1" &&
                        q.User == "u" && q.ProviderText == "no good")
                << c.Name << q.ProviderText;
    }
}

} // namespace
