// The POP3 dialogue byte for byte against scripted servers, and the faults a
// session must survive without deleting anything.
#include "mail/pop3_session.h"
#include "session_fixture.h"

namespace {

std::string Mail(int n) {
    return "From: sender" + std::to_string(n) + "@example.org\r\nSubject: note " +
           std::to_string(n) + "\r\n\r\nbody " + std::to_string(n) + "\r\n..dot-stuffed\r\n";
}
std::string Retr(int n) {
    return "+OK message follows\r\n" + Mail(n) + ".\r\n";
}

std::vector<FakeStep> LoggedIn(std::vector<FakeStep> rest) {
    std::vector<FakeStep> script = {S("+OK POP3 ready\r\n"), C("USER u\r\n"), S("+OK\r\n"),
                                    C("PASS p\r\n"), S("+OK logged in\r\n")};
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

struct DialogueCase {
    const char* Name;
    std::vector<FakeStep> Script;
    std::deque<LoginAnswer> Answers;
    std::vector<unsigned char> Verdicts;
    const char* Status;
    size_t Fetched;
    std::string Password = "p";
    int BufferSize = 1000;
};

class Pop3Dialogue : public testing::TestWithParam<DialogueCase> {};

TEST_P(Pop3Dialogue, ExactBytes) {
    const DialogueCase& c = GetParam();
    CSessionRun run;
    run.Verdicts = c.Verdicts;
    CScriptedLogin login(c.Answers);
    run.app.LoginPrompt = &login;
    CFakeServer server(c.Script);
    auto session = run.Run<CPop3Session>(server, [&](CPop3Session& s) {
        s.Password = c.Password;
        s.BufferSize = c.BufferSize;
    });
    EXPECT_EQ(server.Received(), ClientSide(c.Script));
    EXPECT_TRUE(server.ClientClosed());
    if (*c.Status)
        EXPECT_NE(run.StatusLog.find(c.Status), std::string::npos) << run.StatusLog;
    else
        EXPECT_EQ(run.StatusLog, "");
    ASSERT_EQ(session->Messages.size(), c.Fetched);
    for (size_t i = 0; i < c.Fetched; ++i)
        EXPECT_EQ(session->Messages[i], Retr(static_cast<int>(i) + 1));
    EXPECT_EQ(session->GetMessageNumber(), 1);
}

const std::vector<FakeStep> kThree =
    LoggedIn({C("STAT\r\n"), S("+OK 3 480\r\n"), C("RETR 1\r\n"), S(Retr(1)), C("RETR 2\r\n"),
              S(Retr(2)), C("RETR 3\r\n"), S(Retr(3)), C("DELE 2\r\n"), S("+OK deleted\r\n"),
              C("Quit\r\n"), S("+OK bye\r\n")});

INSTANTIATE_TEST_SUITE_P(
    All, Pop3Dialogue,
    testing::Values(
        DialogueCase{"ThreeMessagesOnlySecondDeleted", kThree, {}, {1, 0, 1}, "", 3},
        DialogueCase{
            "EmptyMailboxQuitsTwice",
            LoggedIn({C("STAT\r\n"), S("+OK 0 0\r\n"), C("Quit\r\n"), S("+OK\r\n"), C("Quit\r\n")}),
            {},
            {},
            "No new mails",
            0},
        DialogueCase{"NegativeStatQuits",
                     LoggedIn({C("STAT\r\n"), S("-ERR locked\r\n"), C("Quit\r\n"), S("+OK\r\n"),
                               C("Quit\r\n")}),
                     {},
                     {},
                     "No new mails",
                     0},
        DialogueCase{"UserRejectedPromptsBeforePass",
                     {S("+OK\r\n"), C("USER u\r\n"), S("-ERR who?\r\n"), C("USER joe\r\n"),
                      S("+OK\r\n"), C("PASS pw\r\n"), S("+OK\r\n"), C("STAT\r\n"), S("+OK 0 0\r\n"),
                      C("Quit\r\n"), C("Quit\r\n")},
                     {{true, "joe", "pw"}},
                     {},
                     "No new mails",
                     0},
        DialogueCase{"PasswordRejectedThenCorrected",
                     {S("+OK\r\n"), C("USER u\r\n"), S("+OK\r\n"), C("PASS p\r\n"),
                      S("-ERR bad\r\n"), C("USER u\r\n"), S("+OK\r\n"), C("PASS right\r\n"),
                      S("+OK\r\n"), C("STAT\r\n"), S("+OK 1 50\r\n"), C("RETR 1\r\n"), S(Retr(1)),
                      C("Quit\r\n"), S("+OK\r\n")},
                     {{true, "u", "right"}},
                     {1},
                     "",
                     1},
        DialogueCase{"EmptyPasswordAskedFirst",
                     {S("+OK\r\n"), C("USER u\r\n"), S("+OK\r\n"), C("PASS typed\r\n"),
                      S("+OK\r\n"), C("STAT\r\n"), S("+OK 0 0\r\n"), C("Quit\r\n"), C("Quit\r\n")},
                     {{true, "u", "typed"}},
                     {},
                     "No new mails",
                     0,
                     ""},
        DialogueCase{"CancelAtFirstPrompt",
                     {S("+OK\r\n")},
                     {{false, "", ""}},
                     {},
                     "Password is not given, can't continue",
                     0,
                     ""},
        DialogueCase{
            "CancelAtRePrompt",
            {S("+OK\r\n"), C("USER u\r\n"), S("+OK\r\n"), C("PASS p\r\n"), S("-ERR bad\r\n")},
            {{false, "", ""}},
            {},
            "Faild due to incorrect user name or password",
            0},
        DialogueCase{"GreetingNotPositive", {S("-ERR too busy\r\n")}, {}, {}, "Server is busy", 0},
        // Seven-byte receives: the 93-byte reply arrives in pieces and its end
        // marker (bytes 89 to 92) is cut between bytes 90 and 91.
        DialogueCase{"MessageOverManyReceives",
                     LoggedIn({C("STAT\r\n"), S("+OK 1 80\r\n"), C("RETR 1\r\n"), S(Retr(1)),
                               C("Quit\r\n"), S("+OK\r\n")}),
                     {},
                     {1},
                     "",
                     1,
                     "p",
                     7}),
    [](const testing::TestParamInfo<DialogueCase>& info) { return info.param.Name; });

TEST(Pop3Prompt, CaptionIsAccountNameAndValuesArePrefilled) {
    CSessionRun run;
    CScriptedLogin login({{true, "joe", "pw"}});
    run.app.LoginPrompt = &login;
    CFakeServer server({S("+OK\r\n"), C("USER u\r\n"), S("-ERR\r\n"), C("USER joe\r\n"),
                        S("+OK\r\n"), C("PASS pw\r\n"), S("+OK\r\n"), C("STAT\r\n"),
                        S("+OK 0 0\r\n"), C("Quit\r\n"), C("Quit\r\n")});
    run.Run<CPop3Session>(server);
    ASSERT_EQ(login.Asked.size(), 1u);
    EXPECT_EQ(login.Asked[0].Title, "Home");
    EXPECT_EQ(login.Asked[0].UserName, "u");
    EXPECT_EQ(login.Asked[0].Password, "p");
}

TEST(Pop3Prompt, NoWindowMeansCancel) {
    CSessionRun run;
    run.app.LoginPrompt = nullptr;
    CFakeServer server({S("+OK\r\n")});
    auto session = run.Run<CPop3Session>(server, [](CPop3Session& s) { s.Password.clear(); });
    EXPECT_EQ(server.Received(), "");
    EXPECT_NE(run.StatusLog.find("Password is not given"), std::string::npos);
}

class Pop3Faults : public testing::TestWithParam<FaultCase> {};

TEST_P(Pop3Faults, EndWithNothingDeleted) {
    ExpectFaultHandled<CPop3Session>(GetParam(), "DELE");
}

INSTANTIATE_TEST_SUITE_P(
    All, Pop3Faults,
    testing::Values(
        FaultCase{"ClosedInMessage",
                  LoggedIn({C("STAT\r\n"), S("+OK 2 9\r\n"), C("RETR 1\r\n"), S(Retr(1)),
                            C("RETR 2\r\n"), S("+OK\r\nFrom: x@y\r\n\r\nhalf"), CloseNow()}),
                  "Connection Error"},
        FaultCase{"StallsAfterUser", {S("+OK\r\n"), C("USER u\r\n")}, "Server is not responding"},
        FaultCase{
            "StallsInMessage",
            LoggedIn({C("STAT\r\n"), S("+OK 1 9\r\n"), C("RETR 1\r\n"), S("+OK\r\nFrom: x@y\r\n")}),
            "Server is not responding"},
        FaultCase{"NeverEndingMessage",
                  LoggedIn({C("STAT\r\n"), S("+OK 1 9\r\n"), C("RETR 1\r\n"), S("+OK\r\n"),
                            SendForever("more text that never ends\r\n")}),
                  "Server reply exceeds the limits", 64 * 1024},
        FaultCase{"StatReplyNeverEnds", LoggedIn({C("STAT\r\n"), SendForever("+OK 1 ")}),
                  "Server reply exceeds the limits"},
        FaultCase{"AbsurdCount", LoggedIn({C("STAT\r\n"), S("+OK 1000001 4\r\n")}),
                  "Server reply exceeds the limits"},
        FaultCase{"NegativeCount", LoggedIn({C("STAT\r\n"), S("+OK -3 4\r\n")}),
                  "Server reply exceeds the limits"},
        FaultCase{"StatClosed", LoggedIn({C("STAT\r\n"), CloseNow()}),
                  "Server refuses connection at current time, try again later"},
        FaultCase{"FetchRefusedBeyondBound",
                  LoggedIn({C("STAT\r\n"), S("+OK 1 9\r\n"), C("RETR 1\r\n"), S("-ERR\r\n"),
                            C("RETR 1\r\n"), S("-ERR\r\n"), C("RETR 1\r\n"), S("-ERR\r\n"),
                            C("RETR 1\r\n"), S("-ERR\r\n")}),
                  "A message could not be fetched"}),
    [](const testing::TestParamInfo<FaultCase>& info) { return info.param.Name; });

TEST(Pop3Delete, ClosedDuringDeletesSendsNoQuit) {
    CSessionRun run;
    run.Verdicts = {0, 0};
    CFakeServer server(LoggedIn({C("STAT\r\n"), S("+OK 2 9\r\n"), C("RETR 1\r\n"), S(Retr(1)),
                                 C("RETR 2\r\n"), S(Retr(2)), C("DELE 1\r\n"), CloseNow()}));
    auto session = run.Run<CPop3Session>(server);
    // Without "Quit" the server keeps every message.
    EXPECT_EQ(server.Received().find("Quit"), std::string::npos);
    EXPECT_TRUE(session->EndedWithFailure());
}

TEST(Pop3Delete, VerdictsOfAnotherBatchSizeDeleteNothing) {
    CSessionRun run;
    run.Verdicts = {0};
    CFakeServer server(LoggedIn({C("STAT\r\n"), S("+OK 2 9\r\n"), C("RETR 1\r\n"), S(Retr(1)),
                                 C("RETR 2\r\n"), S(Retr(2)), C("Quit\r\n"), S("+OK\r\n")}));
    run.Run<CPop3Session>(server);
    EXPECT_EQ(server.Received().find("DELE"), std::string::npos);
}

} // namespace
