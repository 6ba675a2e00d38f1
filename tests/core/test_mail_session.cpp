// The POP3 and IMAP dialogues byte for byte against scripted servers, with
// the login prompt, and the IMAP keep-alive. The faults are in the matrix.
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
};

void PrintTo(const DialogueCase& c, std::ostream* out) {
    *out << c.Name;
}

// A dialogue in one line: "S:" what the server sends, "C:" what the client
// must send (each line with its CR LF), "X" the server closes, "A:" the
// user's answer to the login prompt ("user password", or "cancel").
DialogueCase Transcript(const char* name, Protocol p, const std::string& text, const char* status,
                        const std::string& password = "p") {
    DialogueCase c{name, p, {}, {}, {}, status, 0, password};
    std::istringstream items(text);
    for (std::string item; std::getline(items, item, '|');) {
        std::string rest = item.substr(std::min<size_t>(2, item.size()));
        if (item == "X")
            c.Script.push_back(CloseNow());
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
                   const char* status, int bufferSize = 1000) {
    DialogueCase c{name, p,         Steps(HappyPath(p, count, deleted)), {}, {}, status, 0,
                   "p",  bufferSize};
    c.Verdicts.assign(static_cast<size_t>(count), 1);
    for (int n : deleted)
        c.Verdicts[static_cast<size_t>(n) - 1] = 0;
    c.Fetched = static_cast<size_t>(count);
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
    });
    EXPECT_EQ(server.Received(), ClientSide(c.Script));
    EXPECT_FALSE(session->IsConnected());
    // Every status goes to the log with the account's name.
    EXPECT_NE(run.StatusLog.find(*c.Status ? "[Home] " + std::string(c.Status) : ""),
              std::string::npos)
        << run.StatusLog;
    ASSERT_EQ(session->Messages.size(), c.Fetched);
    for (size_t i = 0; i < c.Fetched; ++i)
        EXPECT_EQ(session->Messages[i], MessageReply(c.P, static_cast<int>(i) + 1));
    EXPECT_EQ(session->GetMessageNumber(), 1);
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
const std::string kImapLogin = "S:* OK|C:a001 LOGIN u p|";

INSTANTIATE_TEST_SUITE_P(
    All, Dialogue,
    testing::Values(
        Whole("Pop3ThreeMessagesOnlySecondDeleted", kPop3, 3, {2}, ""),
        // One byte per receive: every end marker is split.
        Whole("Pop3MessageOverOneByteReceives", kPop3, 1, {}, "", 1),
        Transcript("Pop3EmptyMailboxQuitsTwice", kPop3,
                   kPop3Login + "S:+OK|C:STAT|S:+OK 0 0|C:Quit|S:+OK|C:Quit|X", kNoMail),
        Transcript("Pop3NegativeCountQuitsTwice", kPop3,
                   kPop3Login + "S:+OK|C:STAT|S:-ERR locked|C:Quit|C:Quit|X", kNoMail),
        Transcript("Pop3UserRejectedPromptsBeforePass", kPop3,
                   "S:+OK|C:USER u|S:-ERR who?|A:joe pw|C:USER joe|S:+OK|C:PASS pw|S:+OK|C:STAT|"
                   "S:+OK 0 0|C:Quit|C:Quit|X",
                   kNoMail),
        Transcript("Pop3PasswordRejectedThenCorrected", kPop3,
                   kPop3Login + "S:-ERR bad|A:u right|C:USER u|S:+OK|C:PASS right|S:+OK|C:STAT|"
                                "S:+OK 0 0|C:Quit|C:Quit|X",
                   kNoMail),
        Transcript("Pop3EmptyPasswordAskedFirst", kPop3,
                   "S:+OK|A:u typed|C:USER u|S:+OK|C:PASS typed|S:+OK|C:STAT|S:+OK 0 0|C:Quit|"
                   "C:Quit|X",
                   kNoMail, ""),
        Transcript("Pop3CancelAtFirstPrompt", kPop3, "S:+OK|A:cancel",
                   "Password is not given, can't continue", ""),
        Transcript("Pop3CancelAtRePrompt", kPop3, kPop3Login + "S:-ERR bad|A:cancel", kRejected),
        Transcript("Pop3GreetingNotPositive", kPop3, "S:-ERR too busy", "Server is busy"),
        Whole("ImapThreeMessagesOnlySecondDeleted", kImap, 3, {2}, kEnded),
        Whole("ImapMessageOverOneByteReceives", kImap, 1, {}, kEnded, 1),
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
