// The POP3 and IMAP dialogues byte for byte against scripted servers, with
// the login prompt, POP3 pipelining, the IMAP STORE sets and the IMAP
// keep-alive. The faults are in the matrix.
#include "mail/sequence_set.h"
#include "session_fixture.h"

#include <sstream>

namespace {

struct DialogueCase {
    const char* Name;
    Protocol P;
    std::vector<FakeStep> Script;
    std::deque<LoginAnswer> Answers;
    std::vector<unsigned char> Verdicts;
    const char* Status;
    size_t Fetched = 0;
    std::string Password = "p";
    int BufferSize = 1000;
    bool OneAtATime = false; // the client must wait for every reply
    int Depth = 0;           // POP3 commands sent ahead (0: the default)
    int Pipelines = -1;      // POP3: whether it still pipelines at the end (-1: any)
    int EndsAt = 1;          // the step the session ends at
};

void PrintTo(const DialogueCase& c, std::ostream* out) {
    *out << c.Name;
}

// A dialogue in one line: "S:" what the server sends, "C:" what the client
// must send (each line with its CR LF), "M:" the server sends message n, "X"
// the server closes, "A:" the user's answer to the login prompt ("user
// password", or "cancel").
DialogueCase Transcript(const char* name, Protocol p, const std::string& text, const char* status,
                        const std::string& password = "p") {
    DialogueCase c{name, p, {}, {}, {}, status, 0, password};
    std::istringstream items(text);
    for (std::string item; std::getline(items, item, '|');) {
        std::string rest = item.substr(std::min<size_t>(2, item.size()));
        if (item == "X")
            c.Script.push_back(CloseNow());
        else if (item[0] == 'M')
            c.Script.push_back(S(MessageReply(p, std::stoi(rest))));
        else if (item[0] == 'A')
            c.Answers.push_back({rest != "cancel", rest.substr(0, rest.find(' ')),
                                 rest.substr(rest.find(' ') + 1)});
        else
            c.Script.push_back(item[0] == 'S' ? S(rest + "\r\n") : C(rest + "\r\n"));
    }
    return c;
}

// A whole check of `count` messages, of which `deleted` are judged spam.
DialogueCase Whole(const char* name, Protocol p, int count, const std::vector<int>& deleted,
                   const char* status, int bufferSize = 1000,
                   const std::string& capabilities = kPop3Capabilities) {
    DialogueCase c{name, p,   Steps(HappyPath(p, count, deleted, "\r\n", capabilities)),
                   {},   {},  status,
                   0,    "p", bufferSize};
    c.Verdicts.assign(static_cast<size_t>(count), 1);
    for (int n : deleted)
        c.Verdicts[static_cast<size_t>(n) - 1] = 0;
    c.Fetched = static_cast<size_t>(count);
    // Without pipelining every command waits for the reply before it.
    c.OneAtATime = p == Protocol::Pop3 && capabilities != kPop3Capabilities;
    return c;
}

// A POP3 transcript that fetches every message and judges by `verdicts`,
// with `depth` commands sent ahead.
DialogueCase Pipelined(const char* name, const std::string& text,
                       std::vector<unsigned char> verdicts, int depth, bool pipelinesAtEnd,
                       const char* status = "", int failsAt = 0) {
    DialogueCase c = Transcript(name, Protocol::Pop3, text, status);
    c.Fetched = failsAt > 0 ? static_cast<size_t>(failsAt) - 1 : verdicts.size();
    c.EndsAt = failsAt > 0 ? failsAt : 1;
    c.Verdicts = std::move(verdicts);
    c.Depth = depth;
    c.Pipelines = pipelinesAtEnd;
    return c;
}

class Dialogue : public testing::TestWithParam<DialogueCase> {};

TEST_P(Dialogue, ExactBytes) {
    const DialogueCase& c = GetParam();
    CSessionRun run(c.Answers);
    run.Verdicts = c.Verdicts;
    CFakeServer server(c.Script);
    auto session = run.Run(c.P, server, [&](CMailSession& s) {
        s.Password = c.Password;
        s.BufferSize = c.BufferSize;
        if (auto* pop3 = dynamic_cast<CPop3Session*>(&s); pop3 && c.Depth > 0)
            pop3->PipelineDepth = c.Depth;
    });
    EXPECT_EQ(server.Received(), ClientSide(c.Script));
    EXPECT_FALSE(c.OneAtATime && server.ClientWasAhead());
    if (auto* pop3 = dynamic_cast<CPop3Session*>(session.get()); pop3 && c.Pipelines >= 0) {
        EXPECT_EQ(pop3->Pipelining(), c.Pipelines == 1);
    }
    EXPECT_FALSE(session->IsConnected());
    // Every status goes to the log with the account's name.
    EXPECT_NE(run.StatusLog.find(*c.Status ? "[Home] " + std::string(c.Status) : ""),
              std::string::npos)
        << run.StatusLog;
    ASSERT_EQ(session->Messages.size(), c.Fetched);
    for (size_t i = 0; i < c.Fetched; ++i)
        EXPECT_EQ(session->Messages[i], MessageReply(c.P, static_cast<int>(i) + 1));
    EXPECT_EQ(session->GetMessageNumber(), c.EndsAt);
    // The prompt shows the account's name and the values in use.
    for (const LoginPromptData& asked : run.login.Asked)
        EXPECT_TRUE(asked.Title == "Home" && asked.UserName == "u" && asked.Password == c.Password);
}

const auto kPop3 = Protocol::Pop3;
const auto kImap = Protocol::Imap;
const char* const kEnded = "Operations ended closing connection & logging out";
const char* const kNoMail = "No new mails";
const char* const kRejected = "Faild due to incorrect user name or password";
const std::string kPop3Login = "S:+OK|C:USER u|S:+OK|C:PASS p|";
// Logged in, the capabilities offer pipelining.
const std::string kPop3Pipelining = kPop3Login + "S:+OK|C:CAPA|S:+OK|S:PIPELINING|S:.|";
const std::string kImapLogin = "S:* OK|C:a001 LOGIN u p|";

INSTANTIATE_TEST_SUITE_P(
    All, Dialogue,
    testing::Values(
        Whole("Pop3ThreeMessagesOnlySecondDeleted", kPop3, 3, {2}, ""),
        // One byte per receive: every end marker is split.
        Whole("Pop3MessageOverOneByteReceives", kPop3, 1, {}, "", 1),
        Transcript("Pop3EmptyMailboxQuitsTwice", kPop3,
                   kPop3Login + "S:+OK|C:CAPA|S:-ERR|C:STAT|S:+OK 0 0|C:Quit|S:+OK|C:Quit|X",
                   kNoMail),
        Transcript("Pop3NegativeCountQuitsTwice", kPop3,
                   kPop3Login + "S:+OK|C:CAPA|S:-ERR|C:STAT|S:-ERR locked|C:Quit|C:Quit|X",
                   kNoMail),
        Transcript("Pop3UserRejectedPromptsBeforePass", kPop3,
                   "S:+OK|C:USER u|S:-ERR who?|A:joe pw|C:USER joe|S:+OK|C:PASS pw|S:+OK|C:CAPA|"
                   "S:-ERR|C:STAT|S:+OK 0 0|C:Quit|C:Quit|X",
                   kNoMail),
        Transcript("Pop3PasswordRejectedThenCorrected", kPop3,
                   kPop3Login + "S:-ERR bad|A:u right|C:USER u|S:+OK|C:PASS right|S:+OK|C:CAPA|"
                                "S:-ERR|C:STAT|S:+OK 0 0|C:Quit|C:Quit|X",
                   kNoMail),
        Transcript("Pop3EmptyPasswordAskedFirst", kPop3,
                   "S:+OK|A:u typed|C:USER u|S:+OK|C:PASS typed|S:+OK|C:CAPA|S:-ERR|C:STAT|"
                   "S:+OK 0 0|C:Quit|C:Quit|X",
                   kNoMail, ""),
        Transcript("Pop3CancelAtFirstPrompt", kPop3, "S:+OK|A:cancel",
                   "Password is not given, can't continue", ""),
        Transcript("Pop3CancelAtRePrompt", kPop3, kPop3Login + "S:-ERR bad|A:cancel", kRejected),
        Transcript("Pop3GreetingNotPositive", kPop3, "S:-ERR too busy", "Server is busy"),
        Whole("Pop3CapabilitiesWithoutPipelining", kPop3, 3, {1, 3}, "", 1000,
              "+OK\r\nTOP\r\nUSER\r\n.\r\n"),
        Whole("Pop3CapaUnknown", kPop3, 2, {1}, "", 1000, "-ERR unknown command\r\n"),
        Transcript("Pop3CapaListDropped", kPop3, kPop3Login + "S:+OK|C:CAPA|S:+OK|S:USER|X",
                   kTextConnectionError),
        // The server answers a command only once the next one has come.
        Pipelined("Pop3PipelinedInTwos",
                  kPop3Pipelining + "C:STAT|S:+OK 5 1500|C:RETR 1|C:RETR 2|M:1|C:RETR 3|M:2|"
                                    "C:RETR 4|M:3|C:RETR 5|M:4|M:5|C:DELE 1|C:DELE 2|S:+OK|"
                                    "C:DELE 4|S:+OK|C:DELE 5|S:+OK|S:+OK|C:Quit|S:+OK bye",
                  {0, 0, 1, 0, 0}, 2, true),
        // The replies on their way are read and dropped; then one by one.
        Pipelined("Pop3RetrRefusedInWindowFallsBack",
                  kPop3Pipelining + "C:STAT|S:+OK 4 1200|C:RETR 1|C:RETR 2|C:RETR 3|S:-ERR busy|"
                                    "M:2|S:-ERR gone|C:RETR 1|M:1|C:RETR 2|M:2|C:RETR 3|M:3|"
                                    "C:RETR 4|M:4|C:DELE 2|S:+OK|C:DELE 4|S:+OK|C:Quit|S:+OK",
                  {1, 0, 1, 0}, 3, false),
        Pipelined("Pop3DeleRefusedInWindowRetried",
                  kPop3Pipelining + "C:STAT|S:+OK 3 900|C:RETR 1|C:RETR 2|C:RETR 3|M:1|M:2|M:3|"
                                    "C:DELE 1|C:DELE 3|S:-ERR busy|S:+OK|C:DELE 1|S:-ERR busy|"
                                    "C:DELE 1|S:+OK|C:Quit|S:+OK",
                  {0, 1, 0}, 0, true),
        // Without "Quit" the server deletes nothing.
        Pipelined("Pop3DeleRefusedTooOftenNoQuit",
                  kPop3Pipelining + "C:STAT|S:+OK 2 600|C:RETR 1|C:RETR 2|M:1|M:2|C:DELE 1|"
                                    "C:DELE 2|S:+OK|S:-ERR|C:DELE 2|S:-ERR|C:DELE 2|S:-ERR|"
                                    "C:DELE 2|S:-ERR|X",
                  {0, 0}, 0, true, "Connection fail for unknown reasons"),
        Pipelined("Pop3DropInRetrWindow",
                  kPop3Pipelining + "C:STAT|S:+OK 3 900|C:RETR 1|C:RETR 2|C:RETR 3|M:1|S:+OK|"
                                    "S:Subject: half|X",
                  {1, 1, 1}, 0, true, kTextConnectionError, 2),
        Whole("ImapThreeMessagesOnlySecondDeleted", kImap, 3, {2}, kEnded),
        Whole("ImapMessageOverOneByteReceives", kImap, 1, {}, kEnded, 1),
        Whole("ImapRunsMergedInOneStore", kImap, 6, {1, 2, 3, 5}, kEnded),
        // A response with another message's body is not taken for the
        // message asked for.
        Transcript("ImapBodyOfAnotherMessageFailsTheFetch", kImap,
                   kImapLogin +
                       "S:a001 OK|C:A142 SELECT INBOX|S:* 2 EXISTS|S:A142 OK|"
                       "C:A654 FETCH 1 (FLAGS BODY[])|S:* 2 FETCH (BODY[] {4}|S:abcd)|M:1|X",
                   kTextFetchFailed),
        Transcript("ImapSelectWithoutExists", kImap,
                   kImapLogin + "S:a001 OK|C:A142 SELECT INBOX|S:* FLAGS ()|S:A142 OK|"
                                "C:A341 CLOSE|S:A341 OK|C:A341 CLOSE|X",
                   "Connection fail for unknown reasons"),
        Transcript("ImapEmptyInbox", kImap,
                   kImapLogin + "S:a001 OK|C:A142 SELECT INBOX|S:* 0 EXISTS|S:A142 OK|"
                                "C:A341 CLOSE|S:A341 OK|C:A341 CLOSE|X",
                   kNoMail),
        Transcript("ImapLoginRejectedThenCorrected", kImap,
                   kImapLogin + "S:a001 NO [AUTHENTICATIONFAILED]|A:u right|C:a001 LOGIN u right|"
                                "S:a001 OK|C:A142 SELECT INBOX|S:* 0 EXISTS|S:A142 OK|"
                                "C:A341 CLOSE|C:A341 CLOSE|X",
                   kNoMail),
        Transcript("ImapCancelAtRePrompt", kImap, kImapLogin + "S:a001 NO|A:cancel", kRejected),
        Transcript("ImapGreetingNotOk", kImap, "S:* BYE busy", "Server is busy")),
    [](const testing::TestParamInfo<DialogueCase>& info) { return info.param.Name; });

struct StoreCase {
    const char* Name;
    std::vector<unsigned char> Verdicts;
    size_t Lines;
    std::vector<std::string> Sets = {}; // when given: each command's sequence set
};

void PrintTo(const StoreCase& c, std::ostream* out) {
    *out << c.Name;
}

std::vector<unsigned char> Repeat(std::vector<unsigned char> pattern, size_t times) {
    std::vector<unsigned char> all;
    for (size_t i = 0; i < times; ++i)
        all.insert(all.end(), pattern.begin(), pattern.end());
    return all;
}

class MarkDeleted : public testing::TestWithParam<StoreCase> {};

// One STORE per sequence set, ascending with runs merged; a set is split
// only where the next element would pass the line limit, and together the
// lines name exactly the condemned messages.
TEST_P(MarkDeleted, OneStorePerSet) {
    const StoreCase& c = GetParam();
    const std::string head = "A003 STORE ", tail = " FLAGS (\\Deleted)\r\n";
    std::vector<std::string> sets;
    std::vector<int> named, condemned;
    for (const std::string& line : MarkDeletedCommands(c.Verdicts)) {
        EXPECT_LE(line.size(), kMaxStoreLine);
        ASSERT_TRUE(line.starts_with(head) && line.ends_with(tail)) << line;
        sets.push_back(line.substr(head.size(), line.size() - head.size() - tail.size()));
        for (int n : ExpandSequenceSet(sets.back()))
            named.push_back(n);
    }
    for (size_t i = 0; i < c.Verdicts.size(); ++i)
        if (c.Verdicts[i] == 0)
            condemned.push_back(static_cast<int>(i) + 1);
    EXPECT_EQ(named, condemned);
    EXPECT_EQ(sets.size(), c.Lines);
    if (!c.Sets.empty()) {
        EXPECT_EQ(sets, c.Sets);
    }
    for (size_t k = 0; k + 1 < sets.size(); ++k) {
        const std::string next = sets[k + 1].substr(0, sets[k + 1].find(','));
        EXPECT_GT(head.size() + sets[k].size() + 1 + next.size() + tail.size(), kMaxStoreLine);
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, MarkDeleted,
    testing::Values(StoreCase{"NoMessages", {}, 0}, StoreCase{"NoneCondemned", {1, 1, 1}, 0},
                    StoreCase{"One", {1, 0, 1}, 1, {"2"}},
                    StoreCase{"RunsMerged", {0, 1, 0, 0, 0, 1, 0, 0}, 1, {"1,3:5,7:8"}},
                    StoreCase{"AllInOneRange", Repeat({0}, 1000), 1, {"1:1000"}},
                    StoreCase{"EveryOtherSplit", Repeat({0, 1}, 500), 3},
                    StoreCase{"RangesSplit", Repeat({0, 0, 1}, 400), 4}),
    [](const testing::TestParamInfo<StoreCase>& info) { return info.param.Name; });

TEST(SequenceSets, TooSmallLimitStillOneElementEach) {
    EXPECT_EQ(BuildSequenceSets({1, 2, 4, 7, 8, 9}, 1),
              (std::vector<std::string>{"1:2", "4", "7:9"}));
}

class ImapKeepAlive : public testing::TestWithParam<bool> {};

// The keep-alive runs while the batch waits to be judged and never after the
// first delete command. An EXPUNGE that it reports means the message numbers
// have moved: then no STORE is sent at all.
TEST_P(ImapKeepAlive, NoopsOnlyWhileJudging) {
    const bool expunge = GetParam();
    const auto path = HappyPath(kImap, 3, expunge ? std::vector<int>{} : std::vector<int>{1, 3});
    auto script = Steps({path.begin(), path.begin() + 6});
    script.push_back(
        Repeated("a002 NOOP\r\n", expunge ? "* 1 EXPUNGE\r\na002 OK\r\n" : "a002 OK\r\n"));
    for (const FakeStep& step : Steps({path.begin() + 6, path.end()}))
        script.push_back(step);
    CSessionRun run;
    run.Verdicts = {0, 1, 0};
    CFakeServer server(script);
    run.BeforeVerdicts = [&] { EXPECT_TRUE(server.WaitReceived("a002 NOOP\r\n")); };
    run.Run(kImap, server,
            [](CMailSession& s) { s.KeepAlivePeriod = std::chrono::milliseconds(5); });
    std::string sent = server.Received();
    EXPECT_EQ(sent.find("a002 NOOP", sent.find("A003")), std::string::npos);
    for (size_t at; (at = sent.find("a002 NOOP\r\n")) != std::string::npos;)
        sent.erase(at, 11);
    EXPECT_EQ(sent, ClientSide(script));
    EXPECT_EQ(run.StatusLog.find("Mailbox changed") != std::string::npos, expunge);
}

INSTANTIATE_TEST_SUITE_P(All, ImapKeepAlive, testing::Bool());

} // namespace
