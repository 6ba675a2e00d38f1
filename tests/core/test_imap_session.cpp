// The IMAP dialogue byte for byte against scripted servers, the keep-alive,
// EXPUNGE, and the faults a session must survive without deleting anything.
#include "mail/imap_session.h"
#include "session_fixture.h"

namespace {

std::string Mail(int n) {
    // A body line that looks like the fetch completion must not end it.
    return "From: sender" + std::to_string(n) + "@example.org\r\nSubject: note " +
           std::to_string(n) + "\r\n\r\nA654 OK not the end\r\n";
}
std::string Fetch(int n) {
    return "* " + std::to_string(n) + " FETCH (FLAGS (\\Seen) BODY[] {" +
           std::to_string(Mail(n).size()) + "}\r\n" + Mail(n) + ")\r\nA654 OK Fetch completed.\r\n";
}
std::string FetchCommand(int n) {
    return "A654 FETCH " + std::to_string(n) + " (FLAGS BODY[])\r\n";
}
std::string Store(int n) {
    return "A003 STORE " + std::to_string(n) + " FLAGS (\\Deleted)\r\n";
}
const std::string kSelect3 =
    "* FLAGS (\\Answered \\Deleted \\Seen)\r\n* OK [PERMANENTFLAGS (\\*)] "
    "ok\r\n* 3 EXISTS\r\n* 0 RECENT\r\nA142 OK [READ-WRITE] Select done\r\n";

std::vector<FakeStep> LoggedIn(std::vector<FakeStep> rest) {
    std::vector<FakeStep> script = {S("* OK IMAP ready\r\n"), C("a001 LOGIN u p\r\n"),
                                    S("* CAPABILITY IMAP4rev1\r\na001 OK Logged in\r\n")};
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

std::vector<FakeStep> FetchedThree(std::vector<FakeStep> rest) {
    std::vector<FakeStep> script =
        LoggedIn({C("A142 SELECT INBOX\r\n"), S(kSelect3), C(FetchCommand(1)), S(Fetch(1)),
                  C(FetchCommand(2)), S(Fetch(2)), C(FetchCommand(3)), S(Fetch(3))});
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
    int BufferSize = 1000;
};

class ImapDialogue : public testing::TestWithParam<DialogueCase> {};

TEST_P(ImapDialogue, ExactBytes) {
    const DialogueCase& c = GetParam();
    CSessionRun run;
    run.Verdicts = c.Verdicts;
    CScriptedLogin login(c.Answers);
    run.app.LoginPrompt = &login;
    CFakeServer server(c.Script);
    auto session =
        run.Run<CImapSession>(server, [&](CImapSession& s) { s.BufferSize = c.BufferSize; });
    EXPECT_EQ(server.Received(), ClientSide(c.Script));
    EXPECT_TRUE(server.ClientClosed());
    EXPECT_NE(run.StatusLog.find(c.Status), std::string::npos) << run.StatusLog;
    ASSERT_EQ(session->Messages.size(), c.Fetched);
    for (size_t i = 0; i < c.Fetched; ++i)
        EXPECT_EQ(session->Messages[i], Fetch(static_cast<int>(i) + 1));
}

const char* kEnded = "Operations ended closing connection & logging out";

INSTANTIATE_TEST_SUITE_P(
    All, ImapDialogue,
    testing::Values(
        DialogueCase{"ThreeMessagesOnlySecondDeleted",
                     FetchedThree({C(Store(2)), S("* 2 FETCH (FLAGS (\\Deleted))\r\nA003 OK\r\n"),
                                   C("A341 CLOSE\r\n"), S("A341 OK\r\n")}),
                     {},
                     {1, 0, 1},
                     kEnded,
                     3},
        DialogueCase{"TwoMessagesBothDeleted",
                     LoggedIn({C("A142 SELECT INBOX\r\n"), S("* 2 EXISTS\r\nA142 OK\r\n"),
                               C(FetchCommand(1)), S(Fetch(1)), C(FetchCommand(2)), S(Fetch(2)),
                               C(Store(1)), S("A003 OK\r\n"), C(Store(2)), S("A003 OK\r\n"),
                               C("A341 CLOSE\r\n"), S("A341 OK\r\n")}),
                     {},
                     {0, 0},
                     kEnded,
                     2},
        DialogueCase{"SelectWithoutExists",
                     LoggedIn({C("A142 SELECT INBOX\r\n"), S("* FLAGS ()\r\nA142 OK\r\n"),
                               C("A341 CLOSE\r\n"), S("A341 OK\r\n"), C("A341 CLOSE\r\n")}),
                     {},
                     {},
                     "Connection fail for unknown reasons",
                     0},
        DialogueCase{"EmptyInbox",
                     LoggedIn({C("A142 SELECT INBOX\r\n"), S("* 0 EXISTS\r\nA142 OK\r\n"),
                               C("A341 CLOSE\r\n"), S("A341 OK\r\n"), C("A341 CLOSE\r\n")}),
                     {},
                     {},
                     "No new mails",
                     0},
        DialogueCase{"LoginRejectedThenCorrected",
                     {S("* OK\r\n"), C("a001 LOGIN u p\r\n"),
                      S("a001 NO [AUTHENTICATIONFAILED]\r\n"), C("a001 LOGIN u right\r\n"),
                      S("a001 OK\r\n"), C("A142 SELECT INBOX\r\n"), S("* 0 EXISTS\r\nA142 OK\r\n"),
                      C("A341 CLOSE\r\n"), C("A341 CLOSE\r\n")},
                     {{true, "u", "right"}},
                     {},
                     "No new mails",
                     0},
        DialogueCase{"CancelAtRePrompt",
                     {S("* OK\r\n"), C("a001 LOGIN u p\r\n"), S("a001 NO\r\n")},
                     {{false, "", ""}},
                     {},
                     "Faild due to incorrect user name or password",
                     0},
        DialogueCase{"GreetingNotOk", {S("* BYE busy\r\n")}, {}, {}, "Server is busy", 0},
        DialogueCase{
            "MessageOverManyReceives",
            LoggedIn({C("A142 SELECT INBOX\r\n"), S("* 1 EXISTS\r\nA142 OK\r\n"),
                      C(FetchCommand(1)), S(Fetch(1)), C("A341 CLOSE\r\n"), S("A341 OK\r\n")}),
            {},
            {1},
            kEnded,
            1,
            5}),
    [](const testing::TestParamInfo<DialogueCase>& info) { return info.param.Name; });

// The keep-alive runs while the batch waits to be judged, and never after
// the first delete command.
TEST(ImapKeepAlive, NoopWhileJudgingNeverBetweenDeletes) {
    CSessionRun run;
    run.Verdicts = {0, 0, 1};
    CFakeServer server(
        FetchedThree({Repeated("a002 NOOP\r\n", "a002 OK\r\n"), C(Store(1)), S("A003 OK\r\n"),
                      C(Store(2)), S("A003 OK\r\n"), C("A341 CLOSE\r\n"), S("A341 OK\r\n")}));
    run.BeforeVerdicts = [&] { EXPECT_TRUE(server.WaitReceived("a002 NOOP\r\n")); };
    run.Run<CImapSession>(
        server, [](CImapSession& s) { s.KeepAlivePeriod = std::chrono::milliseconds(5); });
    std::string sent = server.Received();
    EXPECT_NE(sent.find("a002 NOOP\r\n"), std::string::npos);
    EXPECT_EQ(sent.find("a002 NOOP", sent.find("A003 STORE")), std::string::npos);
}

TEST(ImapKeepAlive, ExpungeReportedMeansNoStoreAtAll) {
    CSessionRun run;
    run.Verdicts = {0, 0, 0};
    CFakeServer server(FetchedThree({Repeated("a002 NOOP\r\n", "* 1 EXPUNGE\r\na002 OK\r\n"),
                                     C("A341 CLOSE\r\n"), S("A341 OK\r\n")}));
    run.BeforeVerdicts = [&] { EXPECT_TRUE(server.WaitReceived("a002 NOOP\r\n")); };
    auto session = run.Run<CImapSession>(
        server, [](CImapSession& s) { s.KeepAlivePeriod = std::chrono::milliseconds(5); });
    EXPECT_EQ(server.Received().find("STORE"), std::string::npos);
    EXPECT_TRUE(session->SawExpunge());
    EXPECT_NE(run.StatusLog.find("Mailbox changed"), std::string::npos);
}

std::vector<FakeStep> SelectedOne(std::vector<FakeStep> rest) {
    std::vector<FakeStep> script =
        LoggedIn({C("A142 SELECT INBOX\r\n"), S("* 2 EXISTS\r\nA142 OK\r\n"), C(FetchCommand(1))});
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

class ImapFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(ImapFaults, EndWithNothingDeleted) {
    ExpectFaultHandled<CImapSession>(GetParam(), "STORE");
}

INSTANTIATE_TEST_SUITE_P(
    All, ImapFaults,
    testing::Values(
        FaultCase{"ClosedInLiteral",
                  SelectedOne({S("* 1 FETCH (BODY[] {100}\r\nFrom: x@y\r\n"), CloseNow()}),
                  "Connection Error"},
        FaultCase{"SecondFetchClosed", SelectedOne({S(Fetch(1)), C(FetchCommand(2)), CloseNow()}),
                  "Connection Error"},
        FaultCase{"StallsAfterSelect", LoggedIn({C("A142 SELECT INBOX\r\n")}),
                  "Server is not responding"},
        FaultCase{"StallsInLiteral", SelectedOne({S("* 1 FETCH (BODY[] {100}\r\nFrom:")}),
                  "Server is not responding"},
        FaultCase{"NeverEndingResponse",
                  SelectedOne({S("* 1 FETCH (BODY[] {5}\r\nhello"), SendForever(" FLAGS ()")}),
                  "Server reply exceeds the limits"},
        FaultCase{"AbsurdLiteral", SelectedOne({S("* 1 FETCH (BODY[] {99999999999}\r\n")}),
                  "Server reply exceeds the limits"},
        FaultCase{"LiteralOverLimit", SelectedOne({S("* 1 FETCH (BODY[] {70000}\r\n")}),
                  "Server reply exceeds the limits", 64 * 1024},
        FaultCase{"AbsurdExists",
                  LoggedIn({C("A142 SELECT INBOX\r\n"), S("* 1000001 EXISTS\r\nA142 OK\r\n")}),
                  "Server reply exceeds the limits"},
        FaultCase{"FetchAnsweredNo", SelectedOne({S("A654 NO [UNAVAILABLE] try later\r\n")}),
                  "A message could not be fetched"},
        FaultCase{"FetchWithoutBody", SelectedOne({S("A654 OK nothing\r\n")}),
                  "A message could not be fetched"}),
    [](const testing::TestParamInfo<FaultCase>& info) { return info.param.Name; });

} // namespace
