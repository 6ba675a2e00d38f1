#include "mail/session.h"

#include "app/core/filter_app.h"
#include "app/core/prompts.h"
#include "filter/levels.h"
#include "filter/message_preparer.h"
#include "store/login_security.h"
#include "store/recycle_bin.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
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
    if (CertificateRefused())
        problem_ = LoginProblem::CertificateRefused;
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

void CMailSession::StoreFetchedMessage(size_t position, std::string text) {
    ++fetchedCount_;
    // A reply that cannot be kept only means no copy: that mail is not deleted.
    if (binApplies_ && !spool_.Keep(position, text))
        spool_.Close();
    if (JudgeHook) {
        if (HeldTexts.size() <= position)
            HeldTexts.resize(position + 1);
        HeldTexts[position] = std::move(text);
        return;
    }
    // The spam tables are fixed once checks run; the judging still uses a
    // score only if it was counted against the tables it judges by.
    if (!preparer_)
        preparer_ = std::make_unique<CMessagePreparer>(
            App.SpamDegreeTotal > 0 ? CurrentSpamScorer(App) : nullptr, App.DecodeMail.load());
    preparer_->Add(position, std::move(text));
}

std::vector<PreparedMessage> CMailSession::TakePreparedMessages() {
    if (!preparer_)
        return {};
    std::vector<PreparedMessage> prepared = preparer_->Finish(static_cast<size_t>(BatchSize));
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
        if (!firstAttempt)
            problem_ = ClassifyLoginRefusal(lastRefusal_);
        return firstAttempt ? -2 : -3;
    }
    UserName = prompt.UserName;
    Password = prompt.Password;
    return 1;
}

int CMailSession::SecureBeforeLogin(bool startTlsOffered, const std::function<bool()>& askUpgrade) {
    const std::string key = LoginSecurityKey(TypeLetter, ServerName, UserName);
    LoginSecurity security =
        LoginSecurityPath.empty() ? LoginSecurity{} : ReadLoginSecurity(LoginSecurityPath, key);
    auto rememberTls = [&] {
        // A server that offers TLS again needs the user's leave anew before
        // it ever gets the password in plain text.
        if (!LoginSecurityPath.empty() && (!security.TlsSeen || security.PlainAllowed))
            WriteLoginSecurity(LoginSecurityPath, key, {.TlsSeen = true, .PlainAllowed = false});
    };
    if (IsTls()) {
        rememberTls();
        return 1;
    }
    const std::string account = AccountName.empty() ? ServerName : AccountName;
    if (startTlsOffered) {
        // Bytes that came after the server's yes were sent before TLS: they
        // could be anyone's, so the session ends rather than read them.
        bool agreed = askUpgrade() && pending_.empty();
        if (agreed && StartTls(ServerName, ReceiveTimeout) == 1) {
            rememberTls();
            return 1;
        }
        if (agreed)
            App.LogLine(ConnectFailure(), account);
        // The connection is closed or in an unknown state: nothing more goes
        // over it.
        const bool certificate = CertificateRefused();
        CloseConnection();
        ConnectionSpoiled = true;
        Active = false;
        problem_ = certificate ? LoginProblem::CertificateRefused : LoginProblem::TlsFailed;
        RecordStatus(App.GetLocalizedText(kTextIdTlsFailed, kTextTlsFailed));
        return kLoginTlsFailed;
    }
    if (PlainTextWithoutAsking(PeerIsLoopback(), security))
        return 1;
    IPlainTextPrompt* asker = App.PlainTextPrompt.load();
    if (asker) {
        App.LogLine("waiting for leave to send the password in plain text", account);
        if (asker->AskPlainText({account, ServerName, security.TlsSeen}) == 1) {
            security.PlainAllowed = true;
            if (!LoginSecurityPath.empty())
                WriteLoginSecurity(LoginSecurityPath, key, security);
            return 1;
        }
    }
    problem_ = LoginProblem::PasswordKeptBack;
    Active = false;
    RecordStatus(security.TlsSeen ? App.GetLocalizedText(kTextIdEncryptionGone, kTextEncryptionGone)
                                  : App.GetLocalizedText(kTextIdNoEncryption, kTextNoEncryption));
    return kLoginPasswordKept;
}

int CMailSession::LoginWithOAuth(OAuthMechanism mechanism,
                                 const std::function<int(const std::string&)>& authenticate) {
    const std::string account = AccountName.empty() ? ServerName : AccountName;
    if (mechanism == OAuthMechanism::None) {
        problem_ = LoginProblem::SignInNotOffered;
        RecordStatus(App.GetLocalizedText(kTextIdSignInNotOffered, kTextSignInNotOffered));
        return -1;
    }
    // renewed: a refused token was followed by a fresh one already, or the
    // user has just signed in; a refusal after that is the user's to hear.
    bool renew = false, renewed = false, askedUser = false;
    for (;;) {
        std::string token, why;
        const int got = App.OAuthAccessToken(TypeLetter, ServerName, UserName, renew, token, why);
        if (got == -1) {
            problem_ = LoginProblem::ProviderUnreachable;
            providerText_ = ShownServerText(why);
            RecordStatus(
                App.GetLocalizedText(kTextIdProviderUnreachable, kTextProviderUnreachable));
            return -1;
        }
        if (got == 1) {
            const int sent = authenticate(
                OAuthInitialResponse(mechanism, UserName, ServerName, ConnectedPort(), token));
            if (sent != 0)
                return sent;
            providerText_.clear();
            if (!renewed) {
                // The server may know sooner than the clock that the token
                // ran out: one fresh token before the user hears of it.
                renew = renewed = true;
                continue;
            }
        } else {
            providerText_ = ShownServerText(why);
        }
        ISignInPrompt* asker = askedUser ? nullptr : App.SignInPrompt.load();
        if (asker) {
            App.LogLine("waiting for the user to sign in again", account);
            askedUser = true;
            const std::string said =
                providerText_.empty() ? RefusalText(lastRefusal_) : providerText_;
            if (asker->AskSignInAgain({account, TypeLetter, ServerName, UserName, said}) == 1) {
                renew = false; // the new sign-in's own token, not renewed again
                renewed = true;
                continue;
            }
        }
        problem_ = LoginProblem::SignInNeeded;
        RecordStatus(App.GetLocalizedText(kTextIdSignInNeeded, kTextSignInNeeded));
        return -3;
    }
}

void CMailSession::StartStep() {
    Active = true;
    bool failed = false;
    {
        std::lock_guard guard(threadLock_);
        started_ = true;
        ended_ = false;
        // The thread of an earlier check of this session is joined first.
        auto previous = std::make_shared<std::thread>(std::move(stepThread_));
        try {
            stepThread_ = std::thread([self = shared_from_this(), previous] {
                if (previous->joinable())
                    previous->join();
                self->RunSteps();
            });
        } catch (const std::system_error&) {
            // No thread for the steps: the session ends where it stands.
            if (previous->joinable())
                previous->detach();
            failed = true;
        }
    }
    if (failed)
        EndSession(true);
}

void CMailSession::ResetBatch() {
    problem_ = LoginProblem::None;
    lastRefusal_.clear();
    providerText_.clear();
    usingMemory_ = false;
    validity_.clear();
    serverIds_.clear();
    plan_ = {};
    memoryCurrent_ = false;
    rememberedVerdicts_.clear();
    HeldTexts.clear();
    Verdicts.clear();
    preparer_.reset();
    fetchedCount_ = 0;
    BatchSize = 0;
    copyFacts_.clear();
    judged_.clear();
    reasons_.clear();
    binned_.clear();
    BinnedCount = BinFailures = 0;
    spool_.Close();
    binApplies_ = !RecycleBinPath.empty() && !DryRun;
    if (binApplies_ && (::mkdir(RecycleBinPath.c_str(), 0700) == 0 || errno == EEXIST))
        spool_.Open(RecycleBinPath + "/tmp");
    serverWait_ = {};
    bytesReceived_ = repliesRead_ = 0;
    sessionTooLong_ = false;
}

void CMailSession::RunSteps() {
    // A batch starts empty, whatever an earlier check left.
    ResetBatch();
    if (LoginAndCount() != 1) {
        EndSession(true);
        return;
    }
    while (fetchedCount_ < static_cast<size_t>(BatchSize)) {
        const size_t before = fetchedCount_;
        // A fetch that stores nothing would never end the loop.
        if (FetchMessage() != 1 || fetchedCount_ == before) {
            EndSession(true);
            return;
        }
    }
    FinalStep();
}

void CMailSession::PlanWholeMailbox() {
    usingMemory_ = false;
    plan_ = {};
    BatchSize = MessageCount;
}

void CMailSession::PlanFromMemory(const std::string& validity, std::vector<std::string> serverIds) {
    const std::string account = JudgedAccountKey(TypeLetter, ServerName, UserName);
    const JudgedMemory memory = ReadJudgedMemory(JudgedMemoryPath, account);
    plan_ = PlanJudging(memory, validity, serverIds);
    // Every message the file holds is still on the server.
    memoryCurrent_ = memory.Validity == validity && memory.Kept.size() == plan_.Remembered.size();
    usingMemory_ = true;
    validity_ = validity;
    serverIds_ = std::move(serverIds);
    BatchSize = static_cast<int>(plan_.New.size());
}

size_t CMailSession::ServerIndexOf(size_t position) const {
    return usingMemory_ ? plan_.New.at(position) : position;
}

std::vector<size_t> CMailSession::CondemnedServerIndexes() const {
    if (DryRun)
        return {};
    return binApplies_ ? binned_ : JudgedCondemned();
}

std::vector<size_t> CMailSession::JudgedCondemned() const {
    std::vector<size_t> condemned;
    if (Verdicts.size() != static_cast<size_t>(BatchSize) ||
        fetchedCount_ != static_cast<size_t>(BatchSize))
        return condemned;
    for (size_t i = 0; i < Verdicts.size(); ++i)
        if (Verdicts[i] == 0)
            condemned.push_back(ServerIndexOf(i));
    for (size_t i = 0; i < rememberedVerdicts_.size() && i < plan_.RememberedAt.size(); ++i)
        if (rememberedVerdicts_[i] == 0)
            condemned.push_back(plan_.RememberedAt[i]);
    std::sort(condemned.begin(), condemned.end());
    return condemned;
}

void CMailSession::JudgeBatch() {
    BatchJudgement judgement = App.ProcessFetchedMessages(
        TakePreparedMessages(), static_cast<size_t>(BatchSize), plan_.Remembered, DryRun);
    Verdicts = judgement.Verdicts;
    rememberedVerdicts_ = judgement.RememberedVerdicts;
    if (binApplies_) {
        judged_ = judgement.Judged;
        reasons_ = judgement.Reasons;
    }
    if (usingMemory_ && Verdicts.size() == static_cast<size_t>(BatchSize))
        SaveMemory(judgement);
}

void CMailSession::SaveMemory(const BatchJudgement& judgement) {
    // Written before anything is deleted: a session cut off afterwards has
    // still judged these, and what it did not delete is judged again.
    JudgedMemory memory;
    memory.Account = JudgedAccountKey(TypeLetter, ServerName, UserName);
    memory.Validity = validity_;
    for (size_t i = 0; i < plan_.Remembered.size(); ++i)
        // A dry run deletes nothing: what ran out is still there.
        if (i < rememberedVerdicts_.size() && (rememberedVerdicts_[i] != 0 || DryRun))
            memory.Kept.push_back(plan_.Remembered[i]);
    const size_t stillKept = memory.Kept.size();
    for (size_t i = 0; i < Verdicts.size() && i < judgement.Judged.size(); ++i) {
        const bool unanswered = i < judgement.Unanswered.size() && judgement.Unanswered[i];
        if (Verdicts[i] == 0 || unanswered)
            continue;
        JudgedMessage kept = judgement.Judged[i];
        kept.Id = serverIds_.at(ServerIndexOf(i));
        memory.Kept.push_back(std::move(kept));
    }
    // Nothing new kept and nothing gone: the file says it already, and a
    // check that finds nothing new writes nothing.
    if (memoryCurrent_ && stillKept == plan_.Remembered.size() && memory.Kept.size() == stillKept)
        return;
    if (!WriteJudgedMemory(JudgedMemoryPath, memory))
        App.LogLine("the memory of judged messages could not be written; they are judged again",
                    AccountName.empty() ? ServerName : AccountName);
}

void CMailSession::FinalStep() {
    // The judging may wait for AppLock and the user: not the server's time.
    judging_ = true;
    StartKeepAlive();
    if (JudgeHook)
        Verdicts = JudgeHook(HeldTexts);
    else
        JudgeBatch();
    StopKeepAlive();
    judging_ = false;
    CopyCondemnedToBin();
    DeleteMarkedAndQuit();
    // The last status says what the user must know about this check.
    if (!ConnectionSpoiled && BinFailures > 0)
        RecordStatus(kTextBinCopyFailed);
    else if (!ConnectionSpoiled && DryRun)
        RecordStatus(kTextDryRun);
    EndSession(ConnectionSpoiled.load());
}

void CMailSession::NoteCopyFacts(size_t position, CopyFacts facts) {
    if (!binApplies_)
        return;
    if (copyFacts_.size() <= position)
        copyFacts_.resize(position + 1);
    copyFacts_[position] = std::move(facts);
}

void CMailSession::CopyCondemnedToBin() {
    if (!binApplies_ || Verdicts.size() != static_cast<size_t>(BatchSize) ||
        fetchedCount_ != static_cast<size_t>(BatchSize))
        return;
    std::string cause;
    const JudgedMessage unknown;
    CopyBatch batch;
    for (size_t i = 0; i < Verdicts.size(); ++i)
        if (Verdicts[i] == 0)
            AddCopy(batch, i, ServerIndexOf(i), i < judged_.size() ? judged_[i] : unknown,
                    i < reasons_.size() ? reasons_[i] : "", cause);
    // Remembered mail whose life time ran out was not fetched this time.
    for (size_t i = 0; i < rememberedVerdicts_.size() && i < plan_.RememberedAt.size(); ++i)
        if (rememberedVerdicts_[i] == 0 && !ConnectionSpoiled)
            AddCopy(batch, SIZE_MAX, plan_.RememberedAt[i], plan_.Remembered.at(i), kReasonLifeTime,
                    cause);
    WriteCopies(batch, cause);
    std::sort(binned_.begin(), binned_.end());
    spool_.Close();
    if (BinFailures > 0)
        App.LogLine("recycle bin: " + cause + "; " + std::to_string(BinFailures) +
                        " condemned message(s) stay on the server",
                    AccountName.empty() ? ServerName : AccountName);
}

void CMailSession::AddCopy(CopyBatch& batch, size_t position, size_t serverIndex,
                           const JudgedMessage& judged, const std::string& reason,
                           std::string& cause) {
    std::string reply;
    CopyFacts facts;
    bool ok = position == SIZE_MAX ? FetchForCopy(serverIndex, reply, facts) == 1
                                   : spool_.Take(position, reply);
    if (position != SIZE_MAX && position < copyFacts_.size())
        facts = copyFacts_[position];
    BinnedMessage copy;
    copy.Type = TypeLetter;
    copy.Account = JudgedAccountKey(TypeLetter, ServerName, UserName);
    copy.AccountName = AccountName;
    copy.ServerId = facts.ServerId;
    copy.Flags = facts.Flags;
    copy.InternalDate = facts.InternalDate;
    copy.Date = judged.Date;
    copy.From = judged.Sender;
    copy.Subject = judged.Subject;
    copy.Reason = reason;
    if (ok && !(ok = MessageOfReply(reply, copy.Text)))
        cause = "a fetched message could not be read back";
    else if (!ok && cause.empty())
        cause = "a fetched message was not kept for its copy";
    if (!ok) {
        ++BinFailures;
        return;
    }
    batch.Bytes += copy.Text.size();
    batch.Copies.push_back(std::move(copy));
    batch.ServerIndexes.push_back(serverIndex);
    // The batch shares one flush of the disk, and holds only so much text.
    if (batch.Bytes >= kCopyBatchBytes)
        WriteCopies(batch, cause);
}

void CMailSession::WriteCopies(CopyBatch& batch, std::string& cause) {
    const std::vector<bool> written = WriteBinnedMessages(RecycleBinPath, batch.Copies, cause);
    for (size_t i = 0; i < written.size(); ++i) {
        if (written[i])
            binned_.push_back(batch.ServerIndexes[i]);
        written[i] ? ++BinnedCount : ++BinFailures;
    }
    batch = {};
}

AccountOutcome CMailSession::Outcome() const {
    AccountOutcome outcome;
    outcome.Account = AccountName.empty() ? ServerName : AccountName;
    outcome.Judged = Verdicts.size() == static_cast<size_t>(BatchSize) ? BatchSize : 0;
    // A session that failed on the way may have deleted nothing: count none
    // rather than claim what the server may not have done.
    outcome.Deleted = endedWithFailure_ ? 0 : static_cast<int>(CondemnedServerIndexes().size());
    outcome.Problem = problem_;
    // Only a refusal the user was left with is the server's to word.
    const bool refused =
        problem_ != LoginProblem::None && problem_ != LoginProblem::PasswordKeptBack &&
        problem_ != LoginProblem::TlsFailed && problem_ != LoginProblem::CertificateRefused &&
        problem_ != LoginProblem::SignInNotOffered;
    outcome.ServerText = !refused                ? std::string()
                         : providerText_.empty() ? RefusalText(lastRefusal_)
                                                 : providerText_;
    outcome.DryRun = DryRun;
    return outcome;
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
