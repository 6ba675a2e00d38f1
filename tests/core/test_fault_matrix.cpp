// In a POP3 (pipelining) and an IMAP check of three messages, 1 and 3
// condemned by the real filter, each also by UIDL or UID with a memory of
// judged messages and the recycle bin, the server drops, stalls or answers
// something hostile at each phase. Every case ends in time, deletes only the
// condemned and only with a whole copy in the bin, remembers exactly the
// kept message once it is judged, leaves no thread or descriptor behind and
// keeps the data files intact.
#include "fake_oauth.h"
#include "session_fixture.h"
#include "store/judged_memory.h"
#include "store/recycle_bin.h"

#include <csignal>
#include <random>
#include <set>
#include <sys/wait.h>

namespace {

// Drop: the connection closes halfway through the reply; Stall: the server
// says no more after half of it; Garbage: no reply at all; LongLine: a line
// (or message) beyond every limit; NoCr: lines end in a bare line feed;
// Refused: a negative reply to every repetition; absurd counts and sizes;
// NilBody: the body of a message expunged meanwhile; Stray: a body nobody
// asked for; Expunge: the numbers move while the bodies come.
#define FAULTS(X)                                                                                  \
    X(Drop)                                                                                        \
    X(Stall)                                                                                       \
    X(Garbage)                                                                                     \
    X(LongLine)                                                                                    \
    X(NoCr) X(Refused) X(CountMinus1) X(Count2To40) X(Literal4G) X(NilBody) X(Stray) X(Expunge)
#define NAME(f) #f,
enum class Fault { FAULTS(ENUMERATOR) };
const char* const kFaultNames[] = {FAULTS(NAME)};
const char* const kPhaseNames[] = {PHASES(NAME)};

using Case = std::tuple<Protocol, bool, Phase, Fault>; // bool: by UIDL or UID

bool IsMessage(Phase phase) {
    return phase == Phase::First || phase == Phase::Middle || phase == Phase::Last;
}

struct FaultScript {
    std::vector<FakeStep> Steps;
    std::string Reached; // what the client has sent when the fault comes
};

// The happy path up to the faulty phase's command; then the fault instead of
// the reply.
FaultScript MakeScript(Protocol p, bool byUid, Phase phase, Fault fault) {
    const bool pop3 = p == Protocol::Pop3;
    const std::vector<Exchange> path = HappyPath(p, 3, {1, 3}, "\r\n", byUid);
    long at = 0;
    while (path[static_cast<size_t>(at)].When != phase)
        ++at;
    const Exchange& e = path[at];
    FaultScript script{Steps({path.begin(), path.begin() + at}), ""};
    if (!e.Command.empty())
        script.Steps.push_back(C(e.Command));
    script.Reached = ClientSide(script.Steps);
    const std::string fetch =
        "* " + std::to_string(static_cast<int>(phase) - static_cast<int>(Phase::Plan)) +
        " FETCH (BODY[] ";
    std::string reply;
    switch (fault) {
    case Fault::Drop:
    case Fault::Stall:
        // Before the closing command: the last delete is answered in full.
        reply =
            phase == Phase::BeforeClose && pop3 ? e.Reply : e.Reply.substr(0, e.Reply.size() / 2);
        break;
    case Fault::Garbage:
        reply = "\x16\x03\x01\xff\xfe}{ ]] * \x01garbage\r\n";
        break;
    case Fault::LongLine: // also a message beyond the message limit
        reply = (!IsMessage(phase) ? ""
                 : pop3            ? "+OK\r\n"
                                   : fetch + "{5}\r\nhello") +
                std::string((1 << 20) + 1, 'x') + "\r\n";
        break;
    case Fault::NoCr:
        reply = HappyPath(p, 3, {1, 3}, "\n", byUid)[at].Reply;
        break;
    case Fault::Refused:
        reply = pop3                ? "-ERR no\r\n"
                : e.Command.empty() ? "* BYE busy\r\n"
                                    : e.Command.substr(0, 5) + "NO no\r\n";
        break;
    case Fault::CountMinus1:
        reply = pop3 ? "+OK -1 0\r\n" : "* -1 EXISTS\r\nA142 OK\r\n";
        break;
    case Fault::Count2To40:
        reply = pop3 ? "+OK 1099511627776 0\r\n" : "* 1099511627776 EXISTS\r\nA142 OK\r\n";
        break;
    case Fault::Literal4G:
        reply = fetch + "{4294967296}\r\nFrom: x@y\r\n";
        break;
    case Fault::NilBody:
        reply = fetch + "NIL)\r\nA654 OK\r\n";
        break;
    case Fault::Stray:
        reply = "* 7 FETCH (UID 70 BODY[] {2}\r\nab)\r\n" + e.Reply;
        break;
    case Fault::Expunge:
        reply = "* 1 EXPUNGE\r\n" + e.Reply;
        break;
    }
    script.Steps.push_back(S(reply));
    if (fault == Fault::Drop)
        script.Steps.push_back(CloseNow());
    if (fault == Fault::Refused && !e.Command.empty())
        script.Steps.push_back(Repeated(e.Command, reply));
    if (fault == Fault::NoCr || fault == Fault::Expunge)
        for (const FakeStep& step : Steps({path.begin() + at + 1, path.end()}))
            script.Steps.push_back(step);
    return script;
}

// Whether the whole batch arrives (and is judged) despite the fault.
bool FetchesAll(Protocol p, Phase phase, Fault fault) {
    if (phase > Phase::Last || fault == Fault::Expunge)
        return true;
    // Bare line feeds end lines; only a POP3 message or listing (of
    // capabilities, of ids) then never ends.
    return fault == Fault::NoCr &&
           !(p == Protocol::Pop3 &&
             (IsMessage(phase) || phase == Phase::Plan || phase == Phase::Login));
}

std::set<int> ExpectedDeletes(Protocol p, bool byUid, Phase phase, Fault fault) {
    // Moved numbers stop a STORE by number, not one by UID.
    if (!FetchesAll(p, phase, fault) || (fault == Fault::Expunge && !byUid) ||
        (phase == Phase::Recheck && fault != Fault::NoCr))
        return {};
    // A fault in the first delete's reply ends the POP3 deleting without
    // "Quit", and a server that drops the connection before "Quit" arrives
    // never sees it: either way it forgets the marks. IMAP has sent its one
    // STORE.
    if (p == Protocol::Pop3 && ((phase == Phase::Delete && fault != Fault::NoCr) ||
                                (phase == Phase::BeforeClose && fault == Fault::Drop)))
        return {};
    return {1, 3};
}

// What the client's bytes delete: the POP3 marks that "Quit" confirms (all
// marks unless `confirmed`), the messages that an IMAP STORE names (by
// number, or by UID 10 n).
std::set<int> Deleted(const std::string& sent, Protocol p, bool confirmed = true) {
    const std::string command = p == Protocol::Pop3 ? "DELE " : "STORE ";
    std::set<int> numbers;
    for (size_t at = sent.find(command); at != std::string::npos; at = sent.find(command, at + 1))
        for (int n : ExpandSequenceSet(
                 sent.substr(at + command.size(),
                             sent.find_first_of(" \r", at + command.size()) - at - command.size())))
            numbers.insert(sent.compare(at - 4, 4, "UID ") ? n : n / 10);
    const size_t quit = sent.rfind("Quit\r\n");
    if (confirmed && p == Protocol::Pop3 &&
        (quit == std::string::npos || quit < sent.rfind("DELE ")))
        return {};
    return numbers;
}

// Whether the bin holds a whole copy of message n as the server keeps it
// (a POP3 server without the dot-stuffing).
bool InBin(const std::string& bin, Protocol p, int n) {
    std::string text = SampleText(n);
    if (p == Protocol::Pop3)
        text.replace(text.find("\r\n..") + 2, 1, "");
    for (const BinnedMessage& listed : ListRecycleBin(bin)) {
        BinnedMessage copy;
        if (ReadBinnedMessage(bin, listed.FileName, copy) && !copy.Damaged && copy.Text == text)
            return true;
    }
    return false;
}

class FaultMatrix : public testing::TestWithParam<Case> {};

TEST_P(FaultMatrix, NothingWronglyDeletedNoHangNoLeak) {
    const auto [protocol, byUid, phase, fault] = GetParam();
    std::signal(SIGPIPE, SIG_DFL); // a write to a closed peer must not end the program
    const FaultScript script = MakeScript(protocol, byUid, phase, fault);
    CLeakCheck leaks;
    std::string listFiles;
    {
        CSessionRun run({}, 1000);
        run.Deadline = std::chrono::seconds(10); // catches a hang, not a slow case
        UseTestLists(run.app);
        listFiles = run.dir.Read(kFriendListFileName) + run.dir.Read(kBlockedListFileName);
        CFakeServer server(script.Steps);
        auto session = run.Run(protocol, server, [&](CMailSession& s) {
            // Bounds the long message; the default bounds the rest.
            if (fault == Fault::LongLine)
                s.Limits.MaxMessage = 1 << 20;
            if (byUid) { // as shipped: with the bin
                s.JudgedMemoryPath = run.dir.File("judged.txt");
                s.RecycleBinPath = run.dir.File("Recycle Bin");
            }
        });
        const std::string sent = server.Received();
        for (int n : Deleted(sent, protocol, false))
            EXPECT_TRUE(!byUid || InBin(run.dir.File("Recycle Bin"), protocol, n)) << n;
        EXPECT_EQ(sent.substr(0, script.Reached.size()), script.Reached) << "the fault never came";
        const bool all = FetchesAll(protocol, phase, fault); // and judges it: 3 history records
        EXPECT_EQ(Deleted(sent, protocol), ExpectedDeletes(protocol, byUid, phase, fault)) << sent;
        EXPECT_FALSE(session->IsConnected());
        const bool absurd =
            fault == Fault::CountMinus1 || fault == Fault::Count2To40 || fault == Fault::Literal4G;
        EXPECT_TRUE(!absurd || run.StatusLog.find(kTextReplyTooLarge) != std::string::npos)
            << run.StatusLog;

        CFilterApp reloaded;
        reloaded.InstallPath = run.dir.Path();
        reloaded.LoadHistoryFile();
        EXPECT_EQ(reloaded.GetHistorySize(), all ? 3u : 0u);
        std::string remembered;
        for (const JudgedMessage& m :
             ReadJudgedMemory(run.dir.File("judged.txt"),
                              JudgedAccountKey(session->TypeLetter, "127.0.0.1", "u"))
                 .Kept)
            remembered += m.Id + " ";
        EXPECT_EQ(remembered, !byUid || !all ? "" : protocol == Protocol::Pop3 ? "u2 " : "20 ");
        EXPECT_EQ(run.dir.Read(kFriendListFileName) + run.dir.Read(kBlockedListFileName),
                  listFiles);
    }
    leaks.Verify();
}

std::string CaseName(const testing::TestParamInfo<Case>& info) {
    const auto [protocol, byUid, phase, fault] = info.param;
    return std::string(protocol == Protocol::Pop3 ? (byUid ? "Pop3Uidl_" : "Pop3_")
                                                  : (byUid ? "ImapUid_" : "Imap_")) +
           kPhaseNames[static_cast<int>(phase)] + "_" + kFaultNames[static_cast<int>(fault)];
}

// Where each fault can come: in a phase the check has, and where it means
// something there.
bool Applies(Protocol p, bool byUid, Phase phase, Fault fault) {
    const std::vector<Exchange> path = HappyPath(p, 3, {1, 3}, "\r\n", byUid);
    if (std::none_of(path.begin(), path.end(), [&](const Exchange& e) { return e.When == phase; }))
        return false;
    switch (fault) {
    case Fault::Drop:
    case Fault::Stall:
        return true;
    case Fault::CountMinus1:
    case Fault::Count2To40:
        return phase == Phase::Count;
    case Fault::Literal4G:
    case Fault::NilBody:
    case Fault::Stray:
    case Fault::Expunge:
        return p == Protocol::Imap && IsMessage(phase);
    default: // the second DELE's faults are the first one's
        return phase != Phase::BeforeClose || p == Protocol::Imap;
    }
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (Protocol p : {Protocol::Pop3, Protocol::Imap})
        for (bool byUid : {false, true})
            for (int phase = 0; phase <= static_cast<int>(Phase::AfterClose); ++phase)
                for (int fault = 0; fault <= static_cast<int>(Fault::Expunge); ++fault)
                    if (Applies(p, byUid, static_cast<Phase>(phase), static_cast<Fault>(fault)))
                        cases.emplace_back(p, byUid, static_cast<Phase>(phase),
                                           static_cast<Fault>(fault));
    return cases;
}

INSTANTIATE_TEST_SUITE_P(All, FaultMatrix, testing::ValuesIn(AllCases()), CaseName);

// A check in a child process, killed at a random moment of the span a whole
// check takes: every message a delete command named has a whole copy.
TEST(KilledCheck, EveryMessageStaysOnTheServerOrIsInTheBin) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "ThreadSanitizer cannot start threads in a forked child";
#endif
    auto check = [](Protocol p, bool byUid, const CTempDir& dir, int port) {
        CFilterApp app;
        app.InstallPath = dir.Path();
        UseTestLists(app);
        const std::shared_ptr<CMailSession> session = NewSession(p, app);
        session->RecycleBinPath = dir.File("Recycle Bin");
        if (byUid)
            session->JudgedMemoryPath = dir.File("judged.txt");
        if (session->ConnectToServer(port) == 1)
            session->StartStep();
        return session->WaitUntilEnded(std::chrono::seconds(20));
    };
    const auto begin = std::chrono::steady_clock::now();
    {
        CTempDir dir;
        CFakeServer server(Steps(HappyPath(Protocol::Imap, 3, {1, 3})));
        ASSERT_TRUE(check(Protocol::Imap, false, dir, server.Port()) && server.WaitDone());
        ASSERT_EQ(Deleted(server.Received(), Protocol::Imap), (std::set<int>{1, 3}));
    }
    const auto span = (std::chrono::steady_clock::now() - begin) * 3 / 2;
    std::mt19937 random(1207);
    std::uniform_int_distribution<long long> delay(0, span.count());
    int killedWhileDeleting = 0;
    for (int kill = 0; kill < 200; ++kill) {
        const Protocol p = kill % 2 ? Protocol::Imap : Protocol::Pop3;
        const bool byUid = kill % 4 >= 2;
        CTempDir dir;
        CFakeServer server(Steps(HappyPath(p, 3, {1, 3}, "\r\n", byUid)));
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            _exit(check(p, byUid, dir, server.Port()) ? 0 : 1);
        std::this_thread::sleep_for(decltype(span)(delay(random)));
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        // A check killed before it connected: a connection that closes at
        // once ends the server's wait for one.
        const int knock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{
            AF_INET, htons(static_cast<uint16_t>(server.Port())), {htonl(INADDR_LOOPBACK)}, {}};
        ::connect(knock, reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::close(knock);
        EXPECT_TRUE(server.WaitDone());
        const std::set<int> named = Deleted(server.Received(), p, false);
        killedWhileDeleting +=
            !named.empty() &&
            server.Received().find(p == Protocol::Pop3 ? "Quit" : "CLOSE") == std::string::npos;
        for (int n : named)
            EXPECT_TRUE(InBin(dir.File("Recycle Bin"), p, n)) << "kill " << kill << ": " << n;
    }
    EXPECT_GT(killedWhileDeleting, 0) << "no kill came between the copies and the end";
}

// A server too slow for a reply's deadline or the session's bound. Once the
// script starts it, each reading of the session's clock moves it on a step.
struct SlowCase {
    const char* Name;
    Phase At;       // whose reply starts the clock (Last: the keep-alive's)
    int PadBytes;   // untagged lines that make that reply longer
    int BufferSize; // the most one receive takes
    double StepSeconds;
    int AllowanceMinutes;
    const char* Status; // nullptr: the check ends normally and deletes 1 and 3
};

class SlowServer : public testing::TestWithParam<SlowCase> {};

TEST_P(SlowServer, EndsInTimeWithNothingDeleted) {
    const SlowCase& c = GetParam();
    std::atomic<long long> now{0}, step{0};
    const std::vector<Exchange> path = HappyPath(Protocol::Imap, 3, {1, 3});
    std::string pad;
    while (static_cast<int>(pad.size()) < c.PadBytes)
        pad += "* OK " + std::string(70, 'x') + "\r\n";
    const auto start = Do([&] { step = static_cast<long long>(c.StepSeconds * 1e9); });
    std::vector<FakeStep> script;
    for (const Exchange& e : path) {
        if (!e.Command.empty())
            script.push_back(C(e.Command));
        if (e.When == c.At && c.At != Phase::Last)
            script.insert(script.end(), {start, S(pad + e.Reply)});
        else
            script.push_back(S(e.Reply));
        if (e.When == Phase::Last && c.At == Phase::Last) // the judging's keep-alive
            script.insert(script.end(), {C("a002 NOOP\r\n"), start, S(pad + "a002 OK\r\n")});
    }
    CSessionRun run({}, 1000);
    run.Verdicts = {{0, 1, 0}};
    CFakeServer server(script);
    run.BeforeVerdicts = [&] {
        if (c.At == Phase::Last)
            server.WaitReceived("a002 NOOP");
    };
    auto session = run.Run(Protocol::Imap, server, [&](CMailSession& s) {
        s.Now = [&] {
            return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(now += step));
        };
        s.BufferSize = c.BufferSize;
        s.SessionAllowance = std::chrono::minutes(c.AllowanceMinutes);
        s.KeepAlivePeriod = std::chrono::milliseconds(c.At == Phase::Last ? 1 : 3600000);
    });
    EXPECT_EQ(Deleted(server.Received(), Protocol::Imap),
              (c.Status ? std::set<int>{} : std::set<int>{1, 3}));
    EXPECT_NE(run.StatusLog.find(c.Status ? c.Status : kTextImapEnded), std::string::npos)
        << run.StatusLog;
}

INSTANTIATE_TEST_SUITE_P(
    All, SlowServer,
    testing::Values(SlowCase{"TrickledReply", Phase::Count, 2000, 16, 1, 30, kTextNotResponding},
                    SlowCase{"HonestSlowReply", Phase::Count, 4000, 64, 0.04, 30, nullptr},
                    SlowCase{"TrickledKeepAlive", Phase::Last, 2000, 16, 1, 30, kTextNotResponding},
                    SlowCase{"EveryReplyJustInTime", Phase::Greeting, 0, 65536, 0.5, 0,
                             kTextSessionTooLong},
                    SlowCase{"SlowRepliesWithinTheSessionAllowance", Phase::Greeting, 0, 65536, 0.5,
                             30, nullptr}),
    [](const testing::TestParamInfo<SlowCase>& info) { return std::string(info.param.Name); });

// After the STARTTLS command nothing but a TLS handshake goes out, however
// the upgrade fails: a reply cut off, a refusal, bytes after the server's yes
// (sent before TLS, so anyone's), garbage instead of the server's handshake.
TEST(StartTlsFaults, NothingGoesInPlainTextOnceTheUpgradeWasAsked) {
    for (const Protocol p : {Protocol::Pop3, Protocol::Imap}) {
        const bool pop3 = p == Protocol::Pop3;
        const std::string ask = pop3 ? "STLS\r\n" : "a008 STARTTLS\r\n";
        const std::string yes = pop3 ? "+OK begin\r\n" : "a008 OK begin\r\n";
        const std::vector<std::vector<FakeStep>> faults = {
            {S(yes.substr(0, 3))},
            {S(pop3 ? "-ERR not now\r\n" : "a008 NO not now\r\n")},
            {S(yes + (pop3 ? "+OK\r\n" : "a001 OK\r\n"))},
            // The garbage comes after the client's hello.
            {S(yes), C(std::string("\x16\x03\x01", 3)), S("\x16\x03\x01\xff\xfe}{ garbage\r\n")}};
        for (const std::vector<FakeStep>& fault : faults) {
            std::vector<FakeStep> steps = Greeting(p, pop3 ? "STLS" : "STARTTLS");
            steps.push_back(C(ask));
            steps.insert(steps.end(), fault.begin(), fault.end());
            steps.push_back(CloseNow());
            CSessionRun run({}, 1000);
            CFakeServer server(steps);
            auto session = run.Run(p, server);
            const std::string sent = server.Received();
            const std::string after =
                sent.substr(std::min(sent.find(ask) + ask.size(), sent.size()));
            for (const char* secret : {"USER", "LOGIN", " p\r\n"})
                EXPECT_EQ(after.find(secret), std::string::npos) << after;
            EXPECT_TRUE(fault.size() > 1 || after.empty()) << after; // garbage: after the hello
            EXPECT_TRUE(session->EndedWithFailure());
            EXPECT_FALSE(session->IsConnected());
            EXPECT_NE(run.StatusLog.find(kTextTlsFailed), std::string::npos) << run.StatusLog;
        }
    }
}

// Hostile answers to an OAuth 2.0 login: a challenge that is no base64, one
// cut off by the server's close, challenges without end, refusals too long
// for a window or for a line, binary bytes from the server and the provider.
// Each ends the login with a defined outcome and nothing deleted, and what
// the user is shown of anyone's words is printable UTF-8 of bounded length.
TEST(SaslFaults, EveryAnswerEndsTheLoginCleanly) {
    const std::string binary("\x00\x1b[2J\xff\xfe\x07\xc2\x85x", 11);
    std::string accents, endless;
    for (int i = 0; i < 1000; ++i)
        accents += "\xc3\xa9";
    while (endless.size() < (1 << 20))
        endless += "+ \r\n";
    for (const Protocol p : {Protocol::Pop3, Protocol::Imap}) {
        const bool pop3 = p == Protocol::Pop3;
        const std::string no = pop3 ? "-ERR " : "a009 NO ",
                          longNo = no + std::string(5000, 'x') + "\r\n";
        using LP = LoginProblem;
        const struct {
            const char* Name;
            std::vector<FakeStep> Answer; // to the token held; C("at1"): its renewal sent
            LP Problem;
            const char* Status;
            std::string ServerText = "";
        } cases[] = {
            {"not base64",
             {S("+ %%not*base64%%\r\n"), C("AQ==\r\n"), S(no + "bad\r\n"), C("at1"),
              S("+ \x01\r\n"), C("AQ==\r\n"), S(no + "bad\r\n")},
             LP::SignInNeeded,
             kTextSignInNeeded,
             "bad"},
            {"cut off", {S("+ eyJzdGF0dXMi"), CloseNow()}, LP::None, kTextConnectionError},
            {"endless challenges",
             {S(endless)},
             LP::None,
             pop3 ? kTextNotPop3 : kTextUnknownFailure},
            {"long refusal",
             {S(longNo), C("at1"), S(longNo)},
             LP::SignInNeeded,
             kTextSignInNeeded,
             std::string(200, 'x')},
            {"beyond a line",
             {S(no + std::string(70000, 'x') + "\r\n")},
             LP::None,
             kTextReplyTooLarge},
            // The provider refuses the renewal with such words.
            {"binary",
             {S("+ " + Base64Encode(binary) + "\r\n"), C("AQ==\r\n"), S(no + binary + "\r\n")},
             LP::SignInNeeded,
             kTextSignInNeeded,
             "invalid_grant: ??[2J????x" + accents.substr(0, 274)},
        };
        for (const auto& c : cases) {
            CSessionRun run({}, 1000);
            run.Deadline = std::chrono::seconds(10); // catches a hang, not a slow case
            CFakeTokenEndpoint endpoint;
            CFakeSignInPrompt prompt;
            run.app.TokenEndpoint = &endpoint;
            run.app.SignInPrompt = &prompt;
            if (c.ServerText.starts_with("invalid_grant")) {
                endpoint.Answer = 0;
                endpoint.Grant.Error = "invalid_grant";
                endpoint.Grant.Description = binary + accents;
            }
            TokenGrant held;
            held.AccessToken = "held";
            ASSERT_EQ(run.app.KeepOAuthSignIn(TestSignIn(pop3 ? 'P' : 'I'), held), 1);
            std::vector<FakeStep> steps;
            CFakeServer server([&](int port) {
                auto login = [&](const std::string& token) {
                    return C((pop3 ? "AUTH OAUTHBEARER " : "a009 AUTHENTICATE OAUTHBEARER ") +
                             OAuthInitialResponse(OAuthMechanism::OAuthBearer, "u", "127.0.0.1",
                                                  port, token) +
                             "\r\n");
                };
                steps = Greeting(p, pop3 ? "SASL OAUTHBEARER" : "AUTH=OAUTHBEARER SASL-IR");
                steps.push_back(login("held"));
                for (const FakeStep& step : c.Answer)
                    steps.push_back(
                        step.What == FakeKind::Expect && step.Bytes == "at1" ? login("at1") : step);
                return steps;
            });
            auto session = run.Run(p, server, [](CMailSession& s) { s.UsesOAuth = true; });
            const std::string sent = server.Received(), expected = ClientSide(steps);
            EXPECT_EQ(sent.substr(0, expected.size()), expected) << c.Name;
            for (const char* later : {"AUTH", "STAT", "SELECT"})
                EXPECT_EQ(sent.find(later, expected.size()), std::string::npos) << c.Name;
            EXPECT_TRUE(session->EndedWithFailure() && !session->IsConnected()) << c.Name;
            EXPECT_NE(run.StatusLog.find(c.Status), std::string::npos) << c.Name << run.StatusLog;
            const AccountOutcome outcome = session->Outcome();
            EXPECT_EQ(outcome.Problem, c.Problem) << c.Name;
            EXPECT_EQ(outcome.ServerText, c.ServerText) << c.Name;
            ASSERT_EQ(prompt.Asked.size(), c.Problem == LP::SignInNeeded ? 1u : 0u);
            for (const SignInQuestion& q : prompt.Asked)
                EXPECT_EQ(q.ProviderText, c.ServerText) << c.Name;
        }
    }
}

} // namespace
