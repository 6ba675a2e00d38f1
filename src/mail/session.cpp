#include "mail/session.h"

#include "app/core/filter_app.h"
#include "app/core/prompts.h"
#include "filter/levels.h"
#include "filter/message_preparer.h"

#include <algorithm>
#include <system_error>
#include <utility>

std::chrono::milliseconds SessionTimeout(int serverTimeoutMinutes, long long overrideMs) {
    if (overrideMs > 0)
        return std::chrono::milliseconds(overrideMs);
    // A day is more than any server needs; larger values would overflow the
    // clock arithmetic of the waits.
    int minutes = serverTimeoutMinutes <= 0 ? 3 : std::min(serverTimeoutMinutes, 24 * 60);
    return std::chrono::minutes(minutes);
}

CMailSession::CMailSession(CFilterApp& app, char typeLetter) : TypeLetter(typeLetter), App(app) {}

CMailSession::~CMailSession() {
    std::thread last;
    {
        std::lock_guard guard(threadLock_);
        last = std::move(stepThread_);
    }
    if (last.joinable()) {
        // The last reference may be dropped by the last step itself.
        if (last.get_id() == std::this_thread::get_id())
            last.detach();
        else
            last.join();
    }
}

void CMailSession::SetMessageNumber(int number) {
    messageNumber_.store(number);
}

void CMailSession::RecordStatus(const std::string& text) {
    App.SetLastStatusText(text, AccountName.empty() ? ServerName : AccountName);
}

void CMailSession::RecordReplyFailure(ReplyResult result) {
    switch (result) {
    case ReplyResult::Complete:
        return;
    case ReplyResult::TimedOut:
        RecordStatus(sessionTooLong_ ? kTextSessionTooLong : kTextNotResponding);
        break;
    case ReplyResult::TooLarge:
        RecordStatus(kTextReplyTooLarge);
        break;
    case ReplyResult::Closed:
    case ReplyResult::Failed:
        RecordStatus(kTextConnectionError);
        break;
    }
    ConnectionSpoiled = true;
}

int CMailSession::ConnectToServer(int port) {
    if (Connect(port, ServerName, ReceiveTimeout) == 1)
        return 1;
    RecordStatus(kTextConnectionError);
    return -1;
}

namespace {

using Duration = std::chrono::steady_clock::duration;

Duration AtHonestRate(long long bytes) {
    return std::chrono::duration_cast<Duration>(std::chrono::milliseconds(1000) * bytes /
                                                kHonestBytesPerSecond);
}

// A wait of at least a millisecond: a zero time-out would not wait at all.
std::chrono::milliseconds WaitOf(Duration left) {
    return std::max(std::chrono::milliseconds(1),
                    std::chrono::ceil<std::chrono::milliseconds>(left));
}

} // namespace

Duration CMailSession::SessionLeft() const {
    if (judging_)
        return Duration::max();
    return SessionAllowance + ReceiveTimeout + std::chrono::seconds(repliesRead_) +
           AtHonestRate(bytesReceived_) - serverWait_;
}

void CMailSession::CountServerWait(Duration waited) {
    if (!judging_)
        serverWait_ += waited;
}

int CMailSession::SendCommand(const std::string& bytes) {
    // A server that stops reading holds a send no longer than a reply.
    const auto start = Now();
    Duration left = std::min<Duration>(
        ReceiveTimeout + AtHonestRate(static_cast<long long>(bytes.size())), SessionLeft());
    LastResult = left > Duration::zero() ? SendAll(bytes, WaitOf(left)) : -1;
    CountServerWait(Now() - start);
    AfterSend();
    if (LastResult == 1)
        return 1;
    sessionTooLong_ = SessionLeft() <= Duration::zero();
    RecordStatus(sessionTooLong_ ? kTextSessionTooLong : kTextConnectionError);
    ConnectionSpoiled = true;
    return -1;
}

template <class Collector> ReplyResult CMailSession::Collect(Collector& collector) {
    if (!pending_.empty()) {
        size_t used = collector.Feed(pending_);
        pending_.erase(0, used);
    }
    int size = std::clamp(BufferSize, 1, 1 << 20);
    if (buffer_.size() != static_cast<size_t>(size))
        buffer_.assign(static_cast<size_t>(size), '\0');
    // The deadline is the reply's own: it grows with the bytes received,
    // never with the number of receives.
    const auto start = Now();
    long long received = 0;
    ReplyResult result = ReplyResult::Complete;
    while (collector.State() == CollectState::NeedMore) {
        const auto elapsed = Now() - start;
        const Duration replyLeft = ReceiveTimeout + AtHonestRate(received) - elapsed;
        const Duration sessionLeft = SessionLeft() - elapsed;
        const Duration left = std::min(replyLeft, sessionLeft);
        if (left > Duration::zero())
            LastResult = ReceiveSome(buffer_.data(), size, WaitOf(left));
        else
            LastResult = kReceiveTimedOut;
        AfterReceive();
        if (LastResult == kReceiveTimedOut) {
            sessionTooLong_ = sessionLeft < replyLeft;
            result = ReplyResult::TimedOut;
            break;
        }
        if (LastResult <= 0) {
            result = LastResult == kReceiveClosed ? ReplyResult::Closed : ReplyResult::Failed;
            break;
        }
        received += LastResult;
        std::string_view chunk(buffer_.data(), static_cast<size_t>(LastResult));
        size_t used = collector.Feed(chunk);
        if (used < chunk.size())
            pending_.append(chunk.substr(used));
    }
    CountServerWait(Now() - start);
    if (!judging_) {
        bytesReceived_ += received;
        ++repliesRead_;
    }
    if (result == ReplyResult::Complete && collector.State() != CollectState::Complete)
        result = ReplyResult::TooLarge;
    return result;
}

ReplyResult CMailSession::ReadStatusLine(std::string& line) {
    CStatusLineCollector collector(Limits.MaxStatusLine);
    ReplyResult result = Collect(collector);
    line = collector.Text();
    return result;
}

ReplyResult CMailSession::ReadPop3Message(std::string statusLine, std::string& text) {
    CPop3MessageCollector collector(std::move(statusLine), Limits.MaxMessage);
    ReplyResult result = Collect(collector);
    if (result == ReplyResult::Complete)
        text = collector.TakeText();
    return result;
}

ReplyResult CMailSession::ReadImapResponse(CImapResponseCollector& collector) {
    return Collect(collector);
}

void CMailSession::StoreFetchedMessage(std::string text) {
    if (JudgeHook) {
        Messages.push_back(std::move(text));
        return;
    }
    // The spam tables are fixed once checks run; the judging still uses a
    // score only if it was counted against the tables it judges by.
    if (!preparer_)
        preparer_ = std::make_unique<CMessagePreparer>(
            App.SpamDegreeTotal > 0 ? CurrentSpamScorer(App) : nullptr);
    preparer_->Add(std::move(text));
    Messages.emplace_back();
}

std::vector<PreparedMessage> CMailSession::TakePreparedMessages() {
    if (!preparer_)
        return {};
    std::vector<PreparedMessage> prepared = preparer_->Finish();
    preparer_.reset();
    return prepared;
}

bool CMailSession::IsSafeArgument(const std::string& value) {
    return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

int CMailSession::PrepareLoginAttempt(bool firstAttempt, LoginPromptData& prompt) {
    prompt.Title = AccountName.empty() ? ServerName : AccountName;
    prompt.UserName = UserName;
    prompt.Password = Password;
    if (firstAttempt && !Password.empty())
        return 1;
    // Called on a session thread; the prompt blocks it until answered.
    ILoginPrompt* asker = App.LoginPrompt.load();
    if (asker)
        // A log line, not a status: without it a user could not tell why a
        // check does not end.
        App.LogLine("waiting for the login prompt to be answered", prompt.Title);
    if (!asker || asker->AskLogin(prompt) != 1) {
        RecordStatus(firstAttempt ? kTextNoPassword : kTextLoginRejected);
        return firstAttempt ? -2 : -3;
    }
    UserName = prompt.UserName;
    Password = prompt.Password;
    return 1;
}

void CMailSession::StartStep() {
    Active = true;
    bool failed = false;
    {
        std::lock_guard guard(threadLock_);
        // A step that starts the next one goes on on its own thread: a new
        // thread per message would cost more than many a fetch.
        if (stepThread_.joinable() && stepThread_.get_id() == std::this_thread::get_id()) {
            nextStepPending_ = true;
            return;
        }
        started_ = true;
        // Each thread joins the one before it, so no thread is left over.
        auto previous = std::make_shared<std::thread>(std::move(stepThread_));
        try {
            stepThread_ = std::thread([self = shared_from_this(), previous] {
                if (previous->joinable())
                    previous->join();
                self->RunSteps();
            });
        } catch (const std::system_error&) {
            // No thread for the next step: the session ends where it stands.
            if (previous->joinable())
                previous->detach();
            failed = true;
        }
    }
    if (failed)
        EndSession(true);
}

void CMailSession::RunSteps() {
    for (bool more = true; more;) {
        SessionStepThread();
        std::lock_guard guard(threadLock_);
        more = std::exchange(nextStepPending_, false);
    }
}

void CMailSession::NextMessage() {
    SetMessageNumber(messageNumber_.load() + 1);
    StartStep();
}

void CMailSession::SessionStepThread() {
    int number = messageNumber_.load();
    if (number == 1) {
        // A batch starts empty, whatever an earlier run of the steps left.
        Messages.clear();
        preparer_.reset();
        serverWait_ = {};
        bytesReceived_ = repliesRead_ = 0;
        sessionTooLong_ = false;
        if (LoginAndCount() != 1) {
            EndSession(true);
            return;
        }
        NextMessage();
        return;
    }
    if (number <= MessageCount) {
        if (FetchMessage() != 1) {
            EndSession(true);
            return;
        }
        NextMessage();
        return;
    }
    FinalStep();
}

void CMailSession::FinalStep() {
    // The judging may wait for AppLock and the user: not the server's time.
    judging_ = true;
    StartKeepAlive();
    if (JudgeHook)
        Verdicts = JudgeHook(Messages);
    else
        App.ProcessFetchedMessages(*this);
    StopKeepAlive();
    judging_ = false;
    DeleteMarkedAndQuit();
    SetMessageNumber(1);
    EndSession(ConnectionSpoiled.load());
}

void CMailSession::EndSession(bool failure) {
    // The socket goes with the session's end, whatever the server does; so
    // does the preparation of a batch that will not be judged.
    CloseConnection();
    preparer_.reset();
    endedWithFailure_ = failure;
    {
        std::lock_guard guard(threadLock_);
        ended_ = true;
    }
    endedChanged_.notify_all();
    if (OnEnded)
        OnEnded();
}

bool CMailSession::HasEnded() const {
    std::lock_guard guard(threadLock_);
    return !started_ || ended_;
}

bool CMailSession::WaitUntilEnded(std::chrono::milliseconds timeout) {
    std::thread last;
    {
        std::unique_lock guard(threadLock_);
        if (!endedChanged_.wait_for(guard, timeout, [&] { return !started_ || ended_; }))
            return false;
        last = std::move(stepThread_);
    }
    if (last.joinable() && last.get_id() != std::this_thread::get_id())
        last.join();
    else if (last.joinable())
        last.detach();
    return true;
}
