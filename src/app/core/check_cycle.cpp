// The mail check cycle: read the account file, create one session per
// account, connect each (POP3 accounts first, then IMAP, each in file order)
// and start it; the sessions then run on their own threads. A failed connect
// ends the cycle there: the accounts after it wait for the next cycle.
#include "app/core/check_cycle.h"

#include "app/core/filter_app.h"
#include "mail/imap_session.h"
#include "mail/pop3_session.h"
#include "platform/text_file.h"
#include "store/login_security.h"
#include "store/oauth_accounts.h"
#include "store/recycle_bin.h"
#include "store/sender_list.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sstream>

namespace {

constexpr long long kMinuteMs = 60000;
constexpr long long kMaxCheckIntervalMinutes = 24LL * 24 * 60;

// "account|server|user|password": the password is the rest of the line; "*"
// means none is stored, the keyring marker that the keyring holds it.
void FillFromAccountLine(CFilterApp& app, CMailSession& session, const std::string& line) {
    std::string* fields[] = {&session.AccountName, &session.ServerName, &session.UserName};
    size_t start = 0;
    for (std::string* field : fields) {
        size_t bar = line.find('|', start);
        if (bar == std::string::npos) {
            *field = start < line.size() ? line.substr(start) : std::string();
            start = line.size() + 1;
            continue;
        }
        *field = line.substr(start, bar - start);
        start = bar + 1;
    }
    std::string password = start <= line.size() ? line.substr(start) : std::string();
    session.UsesOAuth = password == kOAuthPasswordMarker;
    if (session.UsesOAuth)
        return;
    session.Password = app.AccountPassword(session.TypeLetter, session.AccountName,
                                           session.ServerName, session.UserName, password);
}

template <class Session>
std::vector<std::shared_ptr<Session>> MakeSessions(CFilterApp& app,
                                                   const std::vector<std::string>& lines,
                                                   std::chrono::milliseconds timeout, bool dryRun) {
    std::vector<std::shared_ptr<Session>> sessions;
    sessions.reserve(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        auto session = std::make_shared<Session>(app);
        FillFromAccountLine(app, *session, lines[i]);
        session->AccountIndex = static_cast<int>(i);
        session->ReceiveTimeout = timeout;
        if (app.JudgeOnce.load())
            session->JudgedMemoryPath = app.DataFilePath(
                JudgedMemoryFileName(session->TypeLetter, session->ServerName, session->UserName));
        if (app.RecycleBinDays.load() > 0)
            session->RecycleBinPath = app.DataFilePath(kRecycleBinFolder);
        session->DryRun = dryRun;
        session->LoginSecurityPath = app.DataFilePath(kLoginSecurityFileName);
        sessions.push_back(std::move(session));
    }
    return sessions;
}

// Connects and starts each session in order. false when a connect failed
// ("Connection Error" recorded): the cycle ends there.
template <class Session>
bool StartSessions(CFilterApp& app, const std::vector<std::shared_ptr<Session>>& sessions,
                   int port) {
    for (const auto& session : sessions) {
        if (session->ConnectToServer(port) != 1) {
            // The status says only "Connection Error"; the log says why.
            app.LogLine(session->ConnectFailure(), session->AccountName);
            // A refused certificate is for the user to act on.
            if (session->CertificateRefused())
                app.CheckReport.Record(session->Outcome());
            return false;
        }
        app.CheckProgress.AddSession(session);
        session->StartStep();
    }
    return true;
}

} // namespace

long long CheckTimerPeriodMs(int checkIntervalMinutes) {
    long long minutes = std::clamp<long long>(checkIntervalMinutes, 1, kMaxCheckIntervalMinutes);
    return minutes * kMinuteMs;
}

void MailCheckThread(CFilterApp& app) {
    app.RunMailCheck();
}

int CFilterApp::ReadAccountLists() {
    std::vector<std::string> pop3, imap;
    std::string text;
    const ReadResult read = ReadWholeFile(DataFilePath(kAccountFileName), text);
    // A file that fails half way gives no accounts at all, not the first few.
    if (read == ReadResult::Failed)
        std::fprintf(stderr, "drossgate: %s could not be read; no account is checked\n",
                     DataFilePath(kAccountFileName).c_str());
    std::istringstream lines(read == ReadResult::Ok ? text : std::string());
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with(kAccountDeletedMarker))
            continue;
        bool isPop3 = !line.empty() && line[0] == 'P';
        (isPop3 ? pop3 : imap).push_back(line.size() > 2 ? line.substr(2) : std::string());
    }
    std::lock_guard guard(CycleLock);
    Pop3AccountLines = std::move(pop3);
    ImapAccountLines = std::move(imap);
    return read == ReadResult::Ok ? 1 : -1;
}

void CFilterApp::RunMailCheck() {
    if (!CheckRequested.load())
        return;
    // Two triggers at nearly the same moment: only one starts a cycle.
    bool idle = false;
    if (!CycleRunning.compare_exchange_strong(idle, true))
        return;
    ReadAccountLists(); // an unreadable file gives a cycle without accounts
    const bool dryRun = NextCheckDryRun.exchange(false) || DryRun.load();
    if (const int days = RecycleBinDays.load(); days > 0)
        ExpireRecycleBin(DataFilePath(kRecycleBinFolder), std::time(nullptr), days,
                         int64_t{std::max(RecycleBinMaxMB.load(), 1)} << 20);
    auto timeout = SessionTimeout(ServerTimeout.load(), ServerTimeoutMsOverride.load());
    std::vector<std::string> pop3Lines, imapLines;
    {
        std::lock_guard guard(CycleLock);
        pop3Lines = Pop3AccountLines;
        imapLines = ImapAccountLines;
    }
    // Outside the lock: reading a password may wait for the keyring.
    std::vector<std::shared_ptr<CPop3Session>> pop3 =
        MakeSessions<CPop3Session>(*this, pop3Lines, timeout, dryRun);
    std::vector<std::shared_ptr<CImapSession>> imap =
        MakeSessions<CImapSession>(*this, imapLines, timeout, dryRun);
    {
        std::lock_guard guard(CycleLock);
        // The previous cycle's sessions live on through their own threads.
        Pop3Sessions = pop3;
        ImapSessions = imap;
    }
    std::lock_guard appGuard(AppLock);
    if (StartSessions(*this, pop3, Pop3Port.load()))
        StartSessions(*this, imap, ImapPort.load());
    CycleRunning = false;
    CheckBusy = false;
}

void CFilterApp::OnTimer(int timerId) {
    if (timerId == kCheckTimerId) {
        if (!CheckBusy.load()) {
            CheckRequested = true;
            CheckProgress.StartWorker([this] { MailCheckThread(*this); });
        } else if (Timers) {
            // A "Check Now" cycle is still starting: try again later.
            Timers->StartTimer(kRetryTimerId, kRetryTimerPeriodMs);
            Timers->StopTimer(kCheckTimerId);
        }
    } else if (timerId == kRetryTimerId && Timers) {
        Timers->StartTimer(kCheckTimerId, CheckTimerPeriodMs(CheckInterval.load()));
        Timers->StopTimer(kRetryTimerId);
    }
}

void CFilterApp::CheckNow() {
    CheckRequested = true;
    CheckBusy = true;
    if (!CheckProgress.StartWorker([this] { MailCheckThread(*this); }))
        CheckBusy = false;
}

int CFilterApp::TestAccount(const std::string& server, const std::string& user,
                            const std::string& password) {
    return TestAccount(server, user, password, false);
}

int CFilterApp::TestAccount(const std::string& server, const std::string& user,
                            const std::string& password, bool imap) {
    std::shared_ptr<CMailSession> session;
    if (imap)
        session = std::make_shared<CImapSession>(*this);
    else
        session = std::make_shared<CPop3Session>(*this);
    session->ServerName = server;
    session->UserName = user;
    session->UsesOAuth = password == kOAuthPasswordMarker;
    session->Password = session->UsesOAuth ? std::string() : password;
    session->LoginSecurityPath = DataFilePath(kLoginSecurityFileName);
    session->ReceiveTimeout = SessionTimeout(ServerTimeout.load(), ServerTimeoutMsOverride.load());
    if (session->ConnectToServer(imap ? ImapPort.load() : Pop3Port.load()) != 1) {
        LogLine(session->ConnectFailure(), server);
        return 0;
    }
    int result = session->Login();
    session->CloseConnection();
    return result;
}

bool CFilterApp::WaitForCheckToFinish(std::chrono::milliseconds timeout) {
    return CheckProgress.WaitUntilIdle(timeout);
}

int CFilterApp::RunningSessionCount() const {
    return CheckProgress.RunningSessions();
}

bool CFilterApp::CheckInProgress() const {
    return CheckProgress.RunningWorkers() > 0 || CheckProgress.RunningSessions() > 0 ||
           CycleRunning.load();
}
