#pragma once
// Sessions against scripted fake servers: a whole check as a script, a
// scripted login prompt, one session run to its end.
#include "app/core/filter_app.h"
#include "fake_server.h"
#include "filter_fixture.h"
#include "mail/imap_session.h"
#include "mail/pop3_session.h"
#include "store/sender_list.h"
#include "temp_dir.h"

#include <deque>
#include <optional>

enum class Protocol { Pop3, Imap };

// The phases of a check, each named by the server's reply that belongs to it.
// Plan: UIDL or UID SEARCH ALL; Recheck: the search for \Deleted before a STORE by UID.
#define PHASES(X)                                                                                  \
    X(Greeting)                                                                                    \
    X(Login)                                                                                       \
    X(Count) X(Plan) X(First) X(Middle) X(Last) X(Recheck) X(Delete) X(BeforeClose) X(AfterClose)
#define ENUMERATOR(e) e,
enum class Phase { PHASES(ENUMERATOR) };

// One exchange: the client's command (none for the greeting) and the reply.
struct Exchange {
    Phase When;
    std::string Command, Reply;
};

inline std::string WithLineEnds(std::string text, const std::string& eol) {
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += eol.size())
        text.replace(at, 2, eol);
    return text;
}

// Message n as the session stores it: odd ones from a blocked domain, even
// ones from a friend (UseTestLists), with a body that would end a careless
// collector early.
inline std::string SampleText(int n) {
    return filter_test::MessageText(
        {.From = n % 2 ? "offers" + std::to_string(n) + "@spam.example" : "ann@friends.example",
         .Subject = "Note " + std::to_string(n),
         .Body = "A654 OK not the end\r\n..dot-stuffed\r\n"});
}
// Its size on a POP3 server: without the stuffed dot.
inline size_t MessageOctets(int n) {
    return SampleText(n).size() - 1;
}
inline std::string MessageReply(Protocol p, int n, const std::string& eol = "\r\n") {
    const std::string text = SampleText(n);
    if (p == Protocol::Pop3)
        return WithLineEnds("+OK\r\n" + text + ".\r\n", eol);
    // A literal keeps its own bytes, whatever the line ends around it. The
    // UID (10 n) comes also unasked, as servers may send it.
    return "* " + std::to_string(n) + " FETCH (UID " + std::to_string(10 * n) +
           " FLAGS (\\Seen) BODY[] {" + std::to_string(text.size()) + "}" + eol + text + ")" + eol;
}

// The numbers an IMAP sequence set names, in its order.
inline std::vector<int> ExpandSequenceSet(const std::string& set) {
    std::vector<int> numbers;
    for (size_t at = 0, end; at < set.size(); at = end + 1) {
        end = std::min(set.find(',', at), set.size());
        const size_t colon = set.find(':', at);
        const int last = std::stoi(set.substr(colon < end ? colon + 1 : at));
        for (int n = std::stoi(set.substr(at)); n <= last; ++n)
            numbers.push_back(n);
    }
    return numbers;
}

// A whole check of `count` messages that deletes `deleted`, user "u" and
// password "p", the server's lines ending in `eol`, in the order in which the
// client sends its commands (POP3 pipelines: the word is matched in any case).
// `byUid`: with an empty memory of judged messages, so by UIDL or by UID
// (message n has UID 10 n) and, without UIDPLUS, CLOSE only after the searches.
inline std::vector<Exchange> HappyPath(Protocol p, int count, const std::vector<int>& deleted,
                                       const std::string& eol = "\r\n", bool byUid = false) {
    const bool pop3 = p == Protocol::Pop3;
    const std::string n = std::to_string(count);
    std::string listing, ids, uids, listed;
    for (int i = 1; i <= count; ++i) {
        const std::string number = std::to_string(i), uid = std::to_string(10 * i);
        listing += number + " " + std::to_string(MessageOctets(i)) + "\r\n";
        ids += number + " u" + number + "\r\n";
        uids += (i > 1 ? "," : "") + uid;
        listed += " " + uid;
    }
    // IMAP marks them all with one STORE (`deleted` holds no runs to merge).
    std::string set, uidSet, condemned, flagged;
    for (int i : deleted) {
        const std::string number = std::to_string(i), uid = std::to_string(10 * i);
        set += (set.empty() ? "" : ",") + number;
        uidSet += (uidSet.empty() ? "" : ",") + uid;
        condemned += " " + uid;
        flagged += "* " + number + " FETCH (FLAGS (\\Deleted))" + eol;
    }
    std::vector<Exchange> path;
    if (pop3)
        path = {{Phase::Greeting, "", "+OK POP3 ready\r\n"},
                {Phase::Login, "CAPA\r\n", "+OK\r\nTOP\r\npipelining\r\n.\r\n"},
                {Phase::Login, "USER u\r\n", "+OK\r\n"},
                {Phase::Login, "PASS p\r\n", "+OK logged in\r\n"},
                {Phase::Count, "STAT\r\n", "+OK " + n + " " + n + "00\r\n"},
                {Phase::Count, "LIST\r\n", "+OK\r\n" + listing + ".\r\n"}};
    else
        path = {{Phase::Greeting, "", "* OK [CAPABILITY IMAP4rev1] IMAP ready\r\n"},
                {Phase::Login, "a001 LOGIN u p\r\n", "* CAPABILITY IMAP4rev1\r\na001 OK\r\n"},
                {Phase::Count, "A142 SELECT INBOX\r\n",
                 "* FLAGS (\\Deleted \\Seen)\r\n* OK [PERMANENTFLAGS (\\*)] ok\r\n* " + n +
                     " EXISTS\r\n* 0 RECENT\r\n" + (byUid ? "* OK [UIDVALIDITY 5] v\r\n" : "") +
                     "A142 OK [READ-WRITE] done\r\n"}};
    if (byUid)
        path.push_back(pop3 ? Exchange{Phase::Plan, "UIDL\r\n", "+OK\r\n" + ids + ".\r\n"}
                            : Exchange{Phase::Plan, "a007 UID SEARCH ALL\r\n",
                                       "* SEARCH" + listed + "\r\na007 OK\r\n"});
    for (Exchange& e : path)
        e.Reply = WithLineEnds(e.Reply, eol);
    // IMAP asks for all of them with one FETCH.
    const std::string fetch =
        byUid ? "A654 UID FETCH " + uids + " (UID FLAGS INTERNALDATE BODY.PEEK[])\r\n"
              : "A654 FETCH " + std::string(count > 1 ? "1:" : "") + n +
                    " (FLAGS INTERNALDATE BODY.PEEK[])\r\n";
    for (int i = 1; i <= count; ++i)
        path.push_back(
            {i == 1       ? Phase::First
             : i == count ? Phase::Last
                          : Phase::Middle,
             pop3     ? "RETR " + std::to_string(i) + "\r\n"
             : i == 1 ? fetch
                      : "",
             MessageReply(p, i, eol) + (!pop3 && i == count ? "A654 OK done" + eol : "")});
    for (size_t i = 0; pop3 && i < deleted.size(); ++i) // one by one
        path.push_back({i > 0 && i + 1 == deleted.size() ? Phase::BeforeClose : Phase::Delete,
                        "DELE " + std::to_string(deleted[i]) + "\r\n", "+OK" + eol});
    const std::string search = "a007 UID SEARCH DELETED\r\n";
    if (!pop3 && byUid && !deleted.empty())
        path.insert(path.end(),
                    {{Phase::Recheck, search, "a007 OK" + eol},
                     {Phase::Delete, "A003 UID STORE " + uidSet + " +FLAGS (\\Deleted)\r\n",
                      flagged + "A003 OK" + eol},
                     {Phase::BeforeClose, search, "* SEARCH" + condemned + eol + "a007 OK" + eol}});
    else if (!pop3 && !deleted.empty())
        path.push_back({Phase::Delete, "A003 STORE " + set + " FLAGS (\\Deleted)\r\n",
                        flagged + "A003 OK" + eol});
    path.push_back({Phase::AfterClose, pop3 ? "Quit\r\n" : "A341 CLOSE\r\n",
                    pop3 ? "+OK bye" + eol : "A341 OK" + eol});
    return path;
}

inline std::vector<FakeStep> Steps(const std::vector<Exchange>& path) {
    std::vector<FakeStep> steps;
    for (const Exchange& e : path) {
        if (!e.Command.empty())
            steps.push_back(C(e.Command));
        steps.push_back(S(e.Reply));
    }
    return steps;
}

// The greeting of a server that offers `capabilities`: POP3 lists them when asked.
inline std::vector<FakeStep> Greeting(Protocol p, const std::string& capabilities) {
    if (p == Protocol::Pop3)
        return {S("+OK ready\r\n"), C("CAPA\r\n"), S("+OK\r\n" + capabilities + "\r\n.\r\n")};
    return {S("* OK [CAPABILITY IMAP4rev1 " + capabilities + "] ready\r\n")};
}

// Sender lists that condemn the odd messages, in the files and the filter.
inline void UseTestLists(CFilterApp& app) {
    app.FilterLevel = 2; // Normal
    app.MailLifeTime = 1000000;
    app.AppendSender(kFriendListFileName, "ann", "friends.example");
    app.AppendSender(kBlockedListFileName, kWholeDomainName, "spam.example");
}

struct LoginAnswer {
    bool Ok;
    std::string User, Password;
};

class CScriptedLogin : public ILoginPrompt {
  public:
    explicit CScriptedLogin(std::deque<LoginAnswer> answers) : answers_(std::move(answers)) {}
    int AskLogin(LoginPromptData& data) override {
        if (BeforeAnswer)
            BeforeAnswer(); // a slow user
        std::lock_guard guard(lock_);
        Asked.push_back(data);
        if (answers_.empty() || !answers_.front().Ok)
            return 2;
        data.UserName = answers_.front().User;
        data.Password = answers_.front().Password;
        answers_.pop_front();
        return 1;
    }
    std::vector<LoginPromptData> Asked;
    std::function<void()> BeforeAnswer;

  private:
    std::mutex lock_;
    std::deque<LoginAnswer> answers_;
};

// A session of user "u", password "p" on this machine.
inline std::shared_ptr<CMailSession> NewSession(Protocol protocol, CFilterApp& app) {
    std::shared_ptr<CMailSession> session = std::make_shared<CImapSession>(app);
    if (protocol == Protocol::Pop3)
        session = std::make_shared<CPop3Session>(app);
    session->ServerName = "127.0.0.1";
    session->UserName = "u";
    session->Password = "p";
    return session;
}

struct CSessionRun {
    explicit CSessionRun(std::deque<LoginAnswer> answers = {}, int timeoutMs = 3000)
        : login(std::move(answers)) {
        app.InstallPath = dir.Path();
        app.LoginPrompt = &login;
        app.ServerTimeoutMsOverride = timeoutMs;
    }
    ~CSessionRun() { app.LoginPrompt = nullptr; }

    // A new session run against `server` to its end; the deadline only
    // catches a hang.
    std::shared_ptr<CMailSession> Run(Protocol protocol, CFakeServer& server,
                                      const std::function<void(CMailSession&)>& setup = {}) {
        std::shared_ptr<CMailSession> session = NewSession(protocol, app);
        session->AccountName = "Home";
        session->ReceiveTimeout = SessionTimeout(app.ServerTimeout, app.ServerTimeoutMsOverride);
        if (Verdicts)
            session->JudgeHook = [this](const std::vector<std::string>&) {
                if (BeforeVerdicts)
                    BeforeVerdicts();
                return *Verdicts;
            };
        if (setup)
            setup(*session);
        testing::internal::CaptureStderr();
        EXPECT_EQ(session->ConnectToServer(server.Port()), 1);
        session->StartStep();
        if (!session->WaitUntilEnded(Deadline)) {
            ADD_FAILURE() << "the session did not end";
            session->AbortSession();
            session->WaitUntilEnded(std::chrono::minutes(1));
        }
        EXPECT_TRUE(server.WaitDone());
        StatusLog = testing::internal::GetCapturedStderr();
        return session;
    }

    CTempDir dir;
    CFilterApp app;
    CScriptedLogin login;
    std::chrono::milliseconds Deadline{30000};
    std::optional<std::vector<unsigned char>> Verdicts; // unset: the real pipeline judges
    std::function<void()> BeforeVerdicts;
    std::string StatusLog; // every status text of the run, in order
};
