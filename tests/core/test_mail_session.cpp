// The POP3 and IMAP dialogues byte for byte against scripted servers, with
// the login prompt, POP3 pipelining, the IMAP STORE sets and the IMAP
// keep-alive. The faults are in the matrix.
#include "mail/sequence_set.h"
#include "session_fixture.h"

#include <algorithm>
#include <regex>
#include <sstream>

namespace {

struct DialogueCase {
    const char* Name;
    Protocol P;
    std::vector<FakeStep> Script;
    const char* Status;
    std::vector<unsigned char> Verdicts; // one per message fetched
    int Depth = 0;                       // POP3 commands sent ahead (0: the default)
    bool FallsBack = false;              // POP3 stops pipelining on the way
    std::string Password = "p";
    std::deque<LoginAnswer> Answers = {};
    int BufferSize = 1000;
    bool KeepAlive = false; // NOOPs every 5 ms
    bool JudgeOnce = false; // with a memory of judged messages (empty at the start)
    bool BrokenBin = false, DryRun = false;
};

// A dialogue in one line: "S:" what the server sends, "C:" what the client
// must send (each line with its CR LF), "M:" the server sends message n, "X"
// the server closes, "A:" the user's answer to the login prompt ("user
// password", or "cancel"); "D:" POP3 commands sent ahead, "B:" the most one
// receive takes, "F" POP3 stops pipelining on the way, "P:" the password the
// session starts with, "K:" the keep-alive runs and the server answers each
// NOOP with this ("/" a line end), "J" with a memory of judged messages,
// "R" with a recycle bin that cannot be written, "Y" a dry run.
DialogueCase Transcript(const char* name, Protocol p, const std::string& text, const char* status,
                        std::vector<unsigned char> verdicts = {}) {
    DialogueCase c{name, p, {}, status, std::move(verdicts)};
    std::istringstream items(text);
    for (std::string item; std::getline(items, item, '|');) {
        std::string rest = item.substr(std::min<size_t>(2, item.size()));
        if (item == "X")
            c.Script.push_back(CloseNow());
        else if (item.size() == 1) // F, J, R or Y
            (item == "F"   ? c.FallsBack
             : item == "J" ? c.JudgeOnce
             : item == "R" ? c.BrokenBin
                           : c.DryRun) = true;
        else if (item[0] == 'M')
            c.Script.push_back(S(MessageReply(p, std::stoi(rest))));
        else if (item[0] == 'D' || item[0] == 'B')
            (item[0] == 'D' ? c.Depth : c.BufferSize) = std::stoi(rest);
        else if (item[0] == 'P')
            c.Password = rest;
        else if (item[0] == 'K' && (c.KeepAlive = true))
            c.Script.push_back(Repeated(
                "a002 NOOP\r\n", std::regex_replace(rest, std::regex("/"), "\r\n") + "\r\n"));
        else if (item[0] == 'A')
            c.Answers.push_back({rest != "cancel", rest.substr(0, rest.find(' ')),
                                 rest.substr(rest.find(' ') + 1)});
        else
            c.Script.push_back(item[0] == 'S' ? S(rest + "\r\n") : C(rest + "\r\n"));
    }
    return c;
}

class Dialogue : public testing::TestWithParam<DialogueCase> {};

const char* const kRejected = "Faild due to incorrect user name or password";

TEST_P(Dialogue, ExactBytes) {
    const DialogueCase& c = GetParam();
    CSessionRun run(c.Answers);
    run.Verdicts = c.Verdicts;
    CFakeServer server(c.Script);
    // The keep-alive runs while the batch waits to be judged, and never after the first STORE.
    if (c.KeepAlive)
        run.BeforeVerdicts = [&] { EXPECT_TRUE(server.WaitReceived("a002 NOOP\r\n")); };
    auto session = run.Run(c.P, server, [&](CMailSession& s) {
        s.Password = c.Password;
        if (c.KeepAlive)
            s.KeepAlivePeriod = std::chrono::milliseconds(5);
        s.BufferSize = c.BufferSize;
        if (c.JudgeOnce)
            s.JudgedMemoryPath = run.dir.File("judged.txt");
        if (c.BrokenBin) // a file where the folder should be
            run.dir.Write("Recycle Bin", "");
        s.RecycleBinPath = run.dir.File("Recycle Bin");
        s.DryRun = c.DryRun;
        if (auto* pop3 = dynamic_cast<CPop3Session*>(&s); pop3 && c.Depth > 0)
            pop3->PipelineDepth = c.Depth;
    });
    std::string sent = server.Received();
    EXPECT_EQ(sent.find("a002 NOOP", sent.find("A003")), std::string::npos);
    for (size_t at; (at = sent.find("a002 NOOP\r\n")) != std::string::npos;)
        sent.erase(at, 11);
    EXPECT_EQ(sent, ClientSide(c.Script));
    // Commands go out ahead of their replies only where the server offers it.
    const bool offered = std::ranges::any_of(
        c.Script, [](const FakeStep& step) { return step.Bytes == "PIPELINING\r\n"; });
    EXPECT_TRUE(offered || !server.ClientWasAhead());
    if (auto* pop3 = dynamic_cast<CPop3Session*>(session.get())) {
        EXPECT_EQ(pop3->Pipelining(), offered && !c.FallsBack);
    }
    EXPECT_FALSE(session->IsConnected());
    // What the desktop is told: a refused login, and deletions only where they happened.
    const AccountOutcome outcome = session->Outcome();
    EXPECT_EQ(outcome.Problem == LoginProblem::PasswordRejected,
              std::string(c.Status) == kRejected);
    const auto condemned = std::count(c.Verdicts.begin(), c.Verdicts.end(), 0);
    const bool deletes = !session->EndedWithFailure() && !session->DryRun && !session->BinFailures;
    EXPECT_EQ(outcome.Deleted, deletes ? condemned : 0);
    // Every status goes to the log with the account's name.
    EXPECT_NE(run.StatusLog.find(*c.Status ? "[Home] " + std::string(c.Status) : ""),
              std::string::npos)
        << run.StatusLog;
    // Each text is held at its own message's place.
    size_t held = 0;
    for (size_t i = 0; i < session->HeldTexts.size(); ++i) {
        const std::string& text = session->HeldTexts[i];
        held += !text.empty();
        EXPECT_TRUE(text.empty() || text.ends_with(MessageReply(c.P, static_cast<int>(i) + 1)))
            << i;
    }
    EXPECT_EQ(held, c.Verdicts.size());
    // The prompt shows the account's name and the values in use.
    for (const LoginPromptData& asked : run.login.Asked)
        EXPECT_TRUE(asked.Title == "Home" && asked.UserName == "u" && asked.Password == c.Password);
}

const auto kPop3 = Protocol::Pop3;
const auto kImap = Protocol::Imap;
const char* const kEnded = "Operations ended closing connection & logging out";
const char* const kNoMail = "No new mails";
// The capabilities come first: a server on this machine that offers no TLS
// gets the password in plain text.
const std::string kPop3NoCapa = "S:+OK|C:CAPA|S:-ERR|";
const std::string kPop3Login = kPop3NoCapa + "C:USER u|S:+OK|C:PASS p|";
const std::string kPop3Stat = "S:+OK|C:STAT|"; // the password accepted
const std::string kPop3LoggedIn = kPop3Login + kPop3Stat;
// An empty mailbox; the server closes after the first "Quit".
const std::string kPop3Empty = kPop3Stat + "S:+OK 0 0|C:Quit|C:Quit|X";
// The capabilities offer pipelining; logged in.
const std::string kPop3Pipelining =
    "S:+OK|C:CAPA|S:+OK|S:PIPELINING|S:.|C:USER u|S:+OK|C:PASS p|" + kPop3Stat;
// Logged in, the STAT's reply `stat`, and a server that gives no sizes.
std::string Unlisted(const std::string& loggedIn, const std::string& stat) {
    return loggedIn + "S:+OK " + stat + "|C:LIST|S:-ERR|";
}
const std::string kImapLogin = "S:* OK [CAPABILITY IMAP4rev1]|C:a001 LOGIN u p|";
const std::string kImapLoggedIn = kImapLogin + "S:a001 OK [CAPABILITY IMAP4rev1]|";
// n messages on a server without UIDPLUS, up to their FETCH.
std::string ImapFetch(const std::string& n) {
    return kImapLoggedIn + "C:A142 SELECT INBOX|S:* " + n +
           " EXISTS|S:A142 OK|C:A654 FETCH 1:" + n + " (FLAGS INTERNALDATE BODY.PEEK[])|";
}
const std::string kImapThree = ImapFetch("3") + "M:1|M:2|"; // up to the last body
const std::string kLogout = "C:a006 LOGOUT|S:a006 OK";
// Two messages (UIDs 10 and 20) of UIDVALIDITY 5, listed by UID, then fetched.
const std::string kImapSearchTwo =
    kImapLoggedIn +
    "C:A142 SELECT INBOX|S:* 2 EXISTS|S:* OK [UIDVALIDITY 5] x|S:A142 OK|C:a007 UID SEARCH ALL|";
const std::string kImapFetchTwo =
    kImapSearchTwo +
    "S:* SEARCH 20 10|S:a007 OK|C:A654 UID FETCH 10,20 (UID FLAGS INTERNALDATE BODY.PEEK[])|";

INSTANTIATE_TEST_SUITE_P(
    All, Dialogue,
    testing::Values(
        Transcript("Pop3UserRejectedPromptsBeforePass", kPop3,
                   kPop3NoCapa + "C:USER u|S:-ERR who?|A:joe pw|C:USER joe|S:+OK|C:PASS pw|" +
                       kPop3Empty,
                   kNoMail),
        Transcript("Pop3PasswordRejectedThenCorrected", kPop3,
                   kPop3Login + "S:-ERR bad|A:u right|C:USER u|S:+OK|C:PASS right|" + kPop3Empty,
                   kNoMail),
        Transcript("Pop3EmptyPasswordAskedFirst", kPop3,
                   "P:|" + kPop3NoCapa + "A:u typed|C:USER u|S:+OK|C:PASS typed|" + kPop3Empty,
                   kNoMail),
        Transcript("Pop3CancelAtFirstPrompt", kPop3, "P:|" + kPop3NoCapa + "A:cancel",
                   "Password is not given, can't continue"),
        Transcript("Pop3CancelAtRePrompt", kPop3, kPop3Login + "S:-ERR bad|A:cancel", kRejected),
        // The server answers a command only once the next one has come.
        Transcript("Pop3PipelinedInTwos", kPop3,
                   "D:2|" + Unlisted(kPop3Pipelining, "5 1500") +
                       "C:RETR 1|C:RETR 2|M:1|C:RETR 3|M:2|C:RETR 4|M:3|C:RETR 5|M:4|M:5|"
                       "C:DELE 1|C:DELE 2|S:+OK|C:DELE 4|S:+OK|C:DELE 5|S:+OK|S:+OK|C:Quit|"
                       "S:+OK bye",
                   "", {0, 0, 1, 0, 0}),
        // The replies on their way are read and dropped; then one by one.
        Transcript("Pop3RetrRefusedInWindowFallsBack", kPop3,
                   "D:3|F|" + Unlisted(kPop3Pipelining, "4 1200") +
                       "C:RETR 1|C:RETR 2|C:RETR 3|S:-ERR busy|M:2|S:-ERR gone|C:RETR 1|M:1|"
                       "C:RETR 2|M:2|C:RETR 3|M:3|C:RETR 4|M:4|C:DELE 2|S:+OK|C:DELE 4|S:+OK|"
                       "C:Quit|S:+OK",
                   "", {1, 0, 1, 0}),
        Transcript("Pop3DeleRefusedInWindowRetried", kPop3,
                   Unlisted(kPop3Pipelining, "3 900") +
                       "C:RETR 1|C:RETR 2|C:RETR 3|M:1|M:2|M:3|C:DELE 1|C:DELE 3|S:-ERR busy|"
                       "S:+OK|C:DELE 1|S:-ERR busy|C:DELE 1|S:+OK|C:Quit|S:+OK",
                   "", {0, 1, 0}),
        // A body that does not come: no text is taken for another message's.
        Transcript("ImapMissingBodyFailsTheFetch", kImap, ImapFetch("2") + "M:2|S:A654 OK|X",
                   kTextFetchFailed, {1}),
        Transcript("ImapSelectWithoutExists", kImap,
                   kImapLoggedIn + "C:A142 SELECT INBOX|S:* FLAGS ()|S:A142 OK|" + kLogout,
                   "Connection fail for unknown reasons"),
        // Capabilities not in the greeting are asked before the login; an
        // empty inbox is closed.
        Transcript(
            "ImapCapabilitiesAskedLoginRejectedThenCorrected", kImap,
            "S:* OK|C:a004 CAPABILITY|S:* CAPABILITY IMAP4rev1|S:a004 OK|C:a001 LOGIN u p|"
            "S:a001 NO [AUTHENTICATIONFAILED]|A:u right|C:a001 LOGIN u right|S:a001 OK|"
            "C:A142 SELECT INBOX|S:* 0 EXISTS|S:A142 OK|C:A341 CLOSE|S:A341 OK|C:A341 CLOSE|X",
            kNoMail),
        Transcript("ImapCancelAtRePrompt", kImap, kImapLogin + "S:a001 NO|A:cancel", kRejected),
        // A status line is "+OK" or "-ERR": a refusal is asked again, any
        // other line ends the session at once. One byte per receive splits
        // every end marker; capabilities without pipelining.
        Transcript(
            "Pop3RetrRefusedAskedAgainOneByteReceives", kPop3,
            "B:1|S:+OK|C:CAPA|S:+OK|S:TOP|S:.|C:USER u|S:+OK|C:PASS p|" +
                Unlisted(kPop3Stat, "1 9") +
                "C:RETR 1|S:-ERR busy|C:RETR 1|M:1|C:DELE 1|S:-ERR|C:DELE 1|S:+OK|C:Quit|S:+OK",
            "", {0}),
        Transcript("Pop3GarbageRetrNotResent", kPop3,
                   Unlisted(kPop3Pipelining, "2 9") + "C:RETR 1|C:RETR 2|S:ERR|X", kTextNotPop3),
        // A text that disagrees with the size the server gave deletes nothing.
        Transcript("Pop3ListSizeDisagrees", kPop3,
                   kPop3LoggedIn + "S:+OK 1 9|C:LIST|S:+OK|S:1 " +
                       std::to_string(MessageOctets(1) + 1) + "|S:.|C:RETR 1|M:1|X",
                   kTextSizeMismatch),
        Transcript("Pop3RetrOctetsDisagree", kPop3,
                   Unlisted(kPop3LoggedIn, "1 9") + "C:RETR 1|S:+OK 6 octets|S:ab|S:..|S:.|X",
                   kTextSizeMismatch),
        Transcript("Pop3ListMalformed", kPop3,
                   kPop3LoggedIn + "S:+OK 2 9|C:LIST|S:+OK|S:1 10|S:1 10|S:.|X", kTextNotPop3),
        // With UIDPLUS exactly the condemned leave, by UID, and no CLOSE; one
        // byte per receive.
        Transcript("ImapUidExpungeOfTheCondemnedOneByteReceives", kImap,
                   "B:1|" + kImapLogin +
                       "S:a001 OK [CAPABILITY IMAP4rev1 UIDPLUS]|C:A142 SELECT INBOX|"
                       "S:* 3 EXISTS|S:A142 OK|"
                       "C:A654 FETCH 1:3 (UID FLAGS INTERNALDATE BODY.PEEK[])|M:1|M:2|M:3|"
                       "S:A654 OK|C:A003 UID STORE 10,30 +FLAGS (\\Deleted)|S:A003 OK|"
                       "C:a005 UID EXPUNGE 10,30|S:a005 OK|" +
                       kLogout,
                   kEnded, {0, 1, 0}),
        Transcript("ImapUidsNotAscendingFailTheFetch", kImap,
                   kImapLogin + "S:a001 OK [CAPABILITY UIDPLUS]|C:A142 SELECT INBOX|"
                                "S:* 2 EXISTS|S:A142 OK|"
                                "C:A654 FETCH 1:2 (UID FLAGS INTERNALDATE BODY.PEEK[])|M:1|"
                                "S:* 2 FETCH (UID 10 BODY[] {2}|S:ab)|S:A654 OK|X",
                   kTextFetchFailed, {1}),
        // With a memory: the inbox's UIDs, the new ones fetched by UID, and
        // without UIDPLUS a CLOSE only when the flagged are exactly the
        // condemned, before and after the marking.
        Transcript("ImapJudgeOnceByUidClosesOnlyItsOwn", kImap,
                   "J|" + kImapFetchTwo +
                       "M:2|M:1|S:A654 OK|C:a007 UID SEARCH DELETED|S:a007 OK|"
                       "C:A003 UID STORE 10 +FLAGS (\\Deleted)|S:A003 OK|"
                       "C:a007 UID SEARCH DELETED|S:* SEARCH 10|S:a007 OK|C:A341 CLOSE|S:A341 OK",
                   kEnded, {0, 1}),
        Transcript("ImapJudgeOnceForeignFlagNoClose", kImap,
                   "J|" + kImapFetchTwo +
                       "M:1|M:2|S:A654 OK|C:a007 UID SEARCH DELETED|S:* SEARCH 20|S:a007 OK|" +
                       kLogout,
                   kTextForeignDeleted, {0, 1}),
        Transcript("ImapUidValidityChangedMidSession", kImap,
                   "J|" + kImapFetchTwo + "M:1|S:* OK [UIDVALIDITY 6] new|M:2|S:A654 OK|X",
                   kTextMailboxChanged, {1, 1}),
        Transcript("ImapSearchGivesAUidTwice", kImap,
                   "J|" + kImapSearchTwo + "S:* SEARCH 10 10|S:a007 OK|X", kTextFetchFailed),
        // Only what is safely in the bin is deleted; a dry run deletes nothing.
        Transcript("ImapBinNotWritableNothingDeleted", kImap,
                   "R|" + kImapThree + "M:3|S:A654 OK|C:A341 CLOSE|S:A341 OK", kTextBinCopyFailed,
                   {0, 1, 0}),
        Transcript("Pop3BinNotWritableNothingDeleted", kPop3,
                   "R|" + Unlisted(kPop3LoggedIn, "2 9") + "C:RETR 1|M:1|C:RETR 2|M:2|C:Quit|S:+OK",
                   kTextBinCopyFailed, {0, 1}),
        Transcript("Pop3DryRunNothingDeleted", kPop3,
                   "Y|" + Unlisted(kPop3LoggedIn, "1 9") + "C:RETR 1|M:1|C:Quit|S:+OK", kTextDryRun,
                   {0}),
        // UIDL with an id given twice: every message is judged, as without a memory.
        Transcript("Pop3UidlDuplicatesJudgeAll", kPop3,
                   "J|" + Unlisted(kPop3LoggedIn, "2 9") +
                       "C:UIDL|S:+OK|S:1 a|S:2 a|S:.|C:RETR 1|M:1|C:RETR 2|M:2|C:DELE 2|S:+OK|"
                       "C:Quit|S:+OK",
                   "", {1, 0}),
        // Without UIDPLUS a CLOSE must not remove a kept message flagged by
        // someone else, nor new mail.
        Transcript("ImapForeignDeletedFlagNoClose", kImap,
                   kImapThree + "S:* 2 FETCH (FLAGS (\\Deleted))|M:3|S:A654 OK|" + kLogout,
                   kTextForeignDeleted, {0, 1, 0}),
        Transcript("ImapCondemnedAlreadyFlaggedClosed", kImap,
                   kImapThree + "S:* 1 FETCH (FLAGS (\\Deleted))|M:3|S:A654 OK|"
                                "C:A003 STORE 1 FLAGS (\\Deleted)|S:A003 OK|C:A341 CLOSE|"
                                "S:A341 OK",
                   kEnded, {0, 1, 1}),
        Transcript("ImapNewMailNoClose", kImap,
                   kImapThree + "S:* 4 EXISTS|M:3|S:A654 OK|" + kLogout, kTextInboxGrew, {1, 1, 0}),
        // An EXPUNGE that the keep-alive reports means the numbers have moved:
        // no STORE at all.
        Transcript("ImapKeepAliveWhileJudged", kImap,
                   kImapThree + "M:3|S:A654 OK|K:a002 OK|C:A003 STORE 1,3 FLAGS (\\Deleted)|"
                                "S:A003 OK|C:A341 CLOSE|S:A341 OK",
                   kEnded, {0, 1, 0}),
        Transcript("ImapKeepAliveSawExpunge", kImap,
                   kImapThree + "M:3|S:A654 OK|K:* 1 EXPUNGE/a002 OK|" + kLogout,
                   kTextMailboxChanged, {0, 1, 0}),
        Transcript("ImapFlaggedDuringStoreNoClose", kImap,
                   kImapThree +
                       "M:3|S:A654 OK|C:A003 STORE 3 FLAGS (\\Deleted)|"
                       "S:* 1 FETCH (FLAGS (\\Deleted))|S:A003 OK|" +
                       kLogout,
                   kTextLeftMarked, {1, 1, 0})),
    [](const testing::TestParamInfo<DialogueCase>& info) { return info.param.Name; });

// One STORE per sequence set, ascending with runs merged; a set is split
// only where the line limit makes it, and together the lines name exactly the
// condemned messages.
TEST(MarkDeleted, OneStorePerSet) {
    const struct {
        std::string Pattern; // verdicts, repeated: '0' condemned
        size_t Count, Lines;
        const char* Set; // when the exact set matters
    } cases[] = {{"1", 3, 0, ""},          {"101", 3, 1, "2"},  {"01000100", 8, 1, "1,3:5,7:8"},
                 {"0", 1000, 1, "1:1000"}, {"01", 1000, 3, ""}, {"001", 1200, 4, ""}};
    const std::string head = "A003 STORE ", tail = " FLAGS (\\Deleted)\r\n";
    for (const auto& c : cases) {
        std::vector<unsigned char> verdicts;
        std::vector<int> named, condemned;
        for (size_t i = 0; i < c.Count; ++i) {
            verdicts.push_back(c.Pattern[i % c.Pattern.size()] == '1');
            if (!verdicts.back())
                condemned.push_back(static_cast<int>(i) + 1);
        }
        const auto lines = MarkDeletedCommands(verdicts);
        for (const std::string& line : lines) {
            ASSERT_TRUE(line.size() <= kMaxStoreLine && line.starts_with(head) &&
                        line.ends_with(tail));
            for (int n : ExpandSequenceSet(
                     line.substr(head.size(), line.size() - head.size() - tail.size())))
                named.push_back(n);
        }
        EXPECT_EQ(named, condemned) << c.Pattern;
        EXPECT_EQ(lines.size(), c.Lines) << c.Pattern;
        EXPECT_TRUE(!*c.Set || lines[0] == head + c.Set + tail) << c.Pattern;
    }
    // A limit below one element still gives one element each.
    EXPECT_EQ(BuildSequenceSets({1, 2, 4, 7, 8, 9}, 1),
              (std::vector<std::string>{"1:2", "4", "7:9"}));
}

// A refused login is told by what the user can do: the response codes and
// words of real servers, the server's own words kept without tag or status.
TEST(LoginRefusal, CauseAndServerWords) {
    const struct {
        const char* Line;
        LoginProblem Problem;
        const char* Words;
    } cases[] = {
        {"-ERR [AUTH] Authentication failed.", LoginProblem::PasswordRejected,
         "[AUTH] Authentication failed."},
        {"a001 NO [AUTHENTICATIONFAILED] Invalid credentials", LoginProblem::PasswordRejected,
         "[AUTHENTICATIONFAILED] Invalid credentials"},
        {"-ERR [SYS/TEMP] Try again later", LoginProblem::Throttled, "[SYS/TEMP] Try again later"},
        {"a001 NO [UNAVAILABLE] Too many connections", LoginProblem::Throttled,
         "[UNAVAILABLE] Too many connections"},
        {"a001 NO LOGIN failed: basic authentication is disabled\x01",
         LoginProblem::BasicAuthDisabled, "LOGIN failed: basic authentication is disabled"},
        {"a001 NO", LoginProblem::PasswordRejected, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifyLoginRefusal(c.Line), c.Problem) << c.Line;
        EXPECT_EQ(RefusalText(c.Line), c.Words) << c.Line;
    }
}

} // namespace
