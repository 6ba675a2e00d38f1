#pragma once
// CMailSession: the conversation with one mailbox during one check. Its
// steps run in order on a thread of the session:
//
//   login and count -> fetch, until every message of the batch is in ->
//   judge the batch, delete, close.
//
// The batch is what this check judges: every message of the mailbox, or with
// JudgeOnce only those the account's memory does not hold as judged and kept.
// A session never deletes a message it has not judged: any failed, timed-out
// or oversized reply ends the session for this check with nothing deleted,
// and the verdicts it deletes by are its own batch's (Verdicts), never
// another's.
//
// Ownership: a session is always held by a shared_ptr; its step thread holds
// one, so a session outlives the cycle tables that created it until its last
// step has ended.
#include "mail/connection.h"
#include "mail/fetch_spool.h"
#include "mail/reply_parser.h"
#include "mail/sasl_oauth.h"
#include "mail/session_outcome.h"
#include "store/judged_memory.h"
#include "store/recycle_bin.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CFilterApp;
struct BatchJudgement;
class CMessagePreparer;
struct LoginPromptData;
struct PreparedMessage;

// Status texts of the sessions. The first ones are the program's usual texts;
// the last three name the cases where a session stops on purpose to keep the
// mailbox unchanged.
inline constexpr const char* kTextServerBusy = "Server is busy";
inline constexpr const char* kTextNoPassword = "Password is not given, can't continue";
inline constexpr const char* kTextLoginRejected = "Faild due to incorrect user name or password";
inline constexpr const char* kTextServerRefuses =
    "Server refuses connection at current time, try again later";
inline constexpr const char* kTextNoNewMails = "No new mails";
inline constexpr const char* kTextUnknownFailure = "Connection fail for unknown reasons";
inline constexpr const char* kTextImapEnded = "Operations ended closing connection & logging out";
inline constexpr const char* kTextImapQuit = "Ending connection to server";
inline constexpr const char* kTextNotResponding = "Server is not responding";
inline constexpr const char* kTextConnectionError = "Connection Error";
inline constexpr const char* kTextReplyTooLarge =
    "Server reply exceeds the limits; nothing deleted";
inline constexpr const char* kTextFetchFailed = "A message could not be fetched; nothing deleted";
inline constexpr const char* kTextMailboxChanged =
    "Mailbox changed by another program during the check; nothing deleted";
inline constexpr const char* kTextSessionTooLong = "Server too slow, check ended; nothing deleted";
inline constexpr const char* kTextBinCopyFailed =
    "A copy for the recycle bin could not be written; that mail stays on the server";
inline constexpr const char* kTextDryRun = "Dry run: nothing deleted";
// Why a password was not sent; the language file words them (ids in the
// comments).
inline constexpr int kTextIdTlsFailed = 18101;
inline constexpr const char* kTextTlsFailed =
    "Encrypted connection could not be set up; password not sent";
inline constexpr int kTextIdNoEncryption = 18102;
inline constexpr const char* kTextNoEncryption = "Server offers no encryption; password not sent";
inline constexpr int kTextIdSignInNotOffered = 18125;
inline constexpr const char* kTextSignInNotOffered =
    "Server offers no OAuth 2.0 sign-in; nothing sent";
inline constexpr int kTextIdProviderUnreachable = 18126;
inline constexpr const char* kTextProviderUnreachable =
    "Sign-in provider could not be reached; try again later";
inline constexpr int kTextIdSignInNeeded = 18127;
inline constexpr const char* kTextSignInNeeded =
    "The OAuth 2.0 sign-in is no longer accepted; sign in again";
inline constexpr int kTextIdEncryptionGone = 18103;
inline constexpr const char* kTextEncryptionGone =
    "Server no longer offers encryption; password not sent";

// Results of Login beyond the four of every session kind.
inline constexpr int kLoginTlsFailed = -4;    // the TLS upgrade failed: nothing sent
inline constexpr int kLoginPasswordKept = -5; // no TLS and plain text not allowed

// The slow but honest rate that every reply and the whole session may take
// on top of their fixed allowances: 1024 bytes per second.
inline constexpr long long kHonestBytesPerSecond = 1024;

// How reading one reply ended.
enum class ReplyResult {
    Complete, // the whole reply is in
    Closed,   // the server closed the connection
    Failed,   // socket or TLS error, or a failed send before it
    TimedOut, // past the reply's deadline or the session's bound
    TooLarge, // a count or size beyond the limits
};

class CMailSession : public CServerConnection, public std::enable_shared_from_this<CMailSession> {
  public:
    using JudgeFunction =
        std::function<std::vector<unsigned char>(const std::vector<std::string>&)>;

    CMailSession(CFilterApp& app, char typeLetter);
    ~CMailSession() override;

    // ---- The operations of the steps ----
    // One no-operation exchange; a failure spoils the connection for deleting.
    virtual void KeepAlive() = 0;
    // Deletes the messages whose verdict is 0, then sends the closing command.
    virtual void DeleteMarkedAndQuit() = 0;
    // The login step: log in, count, choose the batch. 1: go on (the batch
    // may be empty); -1: the session ends here (text recorded).
    virtual int LoginAndCount() = 0;
    // Fetches the next message or messages of the batch. 1 at least one more
    // stored; -1 the session ends here (text recorded).
    virtual int FetchMessage() = 0;
    virtual void AfterReceive() {}
    virtual void AfterSend() {}
    // Starts the steps on a thread of the session. Called once per check by
    // the check cycle (or a test), never by a step.
    void StartStep();

    // 1 logged in; -1 greeting not the expected one (or the connection
    // failed); -2 no password and the prompt was cancelled; -3 the server
    // rejected user name or password and the prompt was cancelled;
    // kLoginTlsFailed, kLoginPasswordKept: the password was not sent.
    virtual int Login() = 0;

    // Connect on `port` to ServerName within ReceiveTimeout; on failure
    // records "Connection Error". 1 or -1.
    int ConnectToServer(int port);

    // Waits until the session's last step has ended (or has never started),
    // then joins its thread. false on time-out.
    bool WaitUntilEnded(std::chrono::milliseconds timeout);
    bool HasEnded() const;
    // Ends the session at the next wait: a blocked receive fails at once.
    void AbortSession() { Abort(); }

    // Called once, on the session's last thread, as its very last action.
    std::function<void()> OnEnded;

    // The batch as prepared for judging, element i = the batch's message i;
    // waits until the last fetched text is prepared. Empty after the first
    // call, and empty when not every message of the batch was stored.
    std::vector<PreparedMessage> TakePreparedMessages();
    // Step results for tests and logs: the step that ended the session.
    bool EndedWithFailure() const { return endedWithFailure_.load(); }
    // What this check of the account did; read once the session has ended.
    AccountOutcome Outcome() const;
    // Messages of the batch stored so far.
    size_t FetchedCount() const { return fetchedCount_; }

    // ---- Fields ----
    // The fetched texts, element i = the batch's message i, kept only when a
    // JudgeHook judges (tests). Otherwise each text goes on to the judging's
    // preparation as it arrives.
    std::vector<std::string> HeldTexts;
    std::atomic<bool> Active{false};
    std::string AccountName;
    int MessageCount = 0; // messages in the mailbox, from the server's count
    int BatchSize = 0;    // messages this check fetches and judges
    // The most that one receive asks for: large enough that a 20 KB mail
    // arrives in a few receives.
    int BufferSize = 64 * 1024;
    int AccountIndex = 0;
    std::string Password;
    // The account signs in with OAuth 2.0: a token from the provider goes
    // instead of a password (Password stays empty).
    bool UsesOAuth = false;
    std::string UserName;
    int LastResult = 0; // last send (1/-1) or receive (bytes, 0, -1, -2)
    std::string ServerName;
    const char TypeLetter; // 'P' or 'I'
    // This session's own batch verdicts, one per message of the batch: 0
    // delete on the server, anything else keep.
    std::vector<unsigned char> Verdicts;
    // Judge each message only once: the file that remembers this account's
    // messages judged and kept; empty when the setting is off.
    std::string JudgedMemoryPath;
    // The recycle bin's folder: each condemned message is copied there
    // before it is deleted, and one whose copy is not safely on disk stays
    // on the server. Empty: no bin, condemned mail is deleted directly.
    std::string RecycleBinPath;
    // The account's memory of TLS and of plain text allowed
    // (store/login_security.h); empty: nothing remembered between logins.
    std::string LoginSecurityPath;
    // Judge and record as usual (the history says "would be deleted"), delete nothing.
    bool DryRun = false;
    // Condemned messages copied to the bin this check, and those that could not be.
    size_t BinnedCount = 0, BinFailures = 0;

    // Bounds of this session (set before the first step).
    std::chrono::milliseconds ReceiveTimeout{std::chrono::minutes(3)};
    std::chrono::milliseconds KeepAlivePeriod{300000};
    ReplyLimits Limits;
    int MaxCommandRepeats = 3; // repetitions of a fetch or delete answered negatively
    // Every reply must be in by ReceiveTimeout plus its size at the honest
    // rate, counted from the start of its reading: a server that trickles
    // bytes cannot stretch one reply for ever. The time the session spends
    // waiting on the server (sends and receives; not the login prompt, the
    // judging with its questions and locks, nor the keep-alive meanwhile) is
    // bounded by SessionAllowance + ReceiveTimeout + one second per reply +
    // all bytes received at the honest rate, so a server that answers each
    // reply just inside its deadline still cannot hold a check for days.
    std::chrono::milliseconds SessionAllowance{std::chrono::minutes(30)};
    // The clock of those deadlines (tests advance their own).
    std::function<std::chrono::steady_clock::time_point()> Now = [] {
        return std::chrono::steady_clock::now();
    };
    // Judges the batch instead of the application's pipeline when set (tests).
    JudgeFunction JudgeHook;

  protected:
    CFilterApp& App;

    void RecordStatus(const std::string& text);
    // Records the text that fits a failed reply.
    void RecordReplyFailure(ReplyResult result);
    // Sends one command. 1 or -1 (text recorded, connection spoiled).
    int SendCommand(const std::string& bytes);
    ReplyResult ReadStatusLine(std::string& line);
    ReplyResult ReadPop3Message(std::string statusLine, std::string& text);
    ReplyResult ReadImapResponse(CImapResponseCollector& collector);
    // Stores the text of the batch's message `position` (0-based); each
    // position once (see HeldTexts).
    void StoreFetchedMessage(size_t position, std::string text);
    // The shared use of the login prompt. Before the first attempt and after
    // each rejection: 1 try with UserName/Password; -2 or -3 cancelled (text
    // recorded).
    int PrepareLoginAttempt(bool firstAttempt, LoginPromptData& prompt);
    // Before the user name goes out on a connection that is not TLS yet:
    // with `startTlsOffered`, `askUpgrade` sends the protocol's STARTTLS
    // command and says whether the server agreed, and the connection is
    // upgraded; never a fall-back to plain text. Without it the password may
    // go in plain text only as PlainTextWithoutAsking says or the user
    // allows. 1 go on; kLoginTlsFailed or kLoginPasswordKept (text recorded).
    int SecureBeforeLogin(bool startTlsOffered, const std::function<bool()>& askUpgrade);
    // The server's reply that refused the user name or password.
    void NoteLoginRefusal(std::string_view reply) { lastRefusal_ = reply; }
    // The OAuth 2.0 login of both protocols. `authenticate` sends the
    // protocol's command with the initial response and answers an error
    // challenge: 1 accepted, 0 refused (its reply noted), -1 the session ends
    // (text recorded). A refused token is renewed once; one refused after
    // that asks the user to sign in again. 1, -1, or -3 refused.
    int LoginWithOAuth(OAuthMechanism mechanism,
                       const std::function<int(const std::string& initialResponse)>& authenticate);
    // A value that would end the command line early is never sent.
    static bool IsSafeArgument(const std::string& value);

    // ---- The batch ----
    // Without a memory the batch is the whole mailbox: BatchSize =
    // MessageCount, position p = the server's message p + 1.
    void PlanWholeMailbox();
    // With JudgedMemoryPath: loads the account's memory and chooses the
    // batch from the IDs the server lists now (element k = its message k + 1,
    // no ID twice): the messages not judged and kept at an earlier check.
    void PlanFromMemory(const std::string& validity, std::vector<std::string> serverIds);
    bool UsingMemory() const { return usingMemory_; }
    // The server's index (message number - 1) of the batch's message `position`.
    size_t ServerIndexOf(size_t position) const;
    // The server's indexes of the messages to delete, ascending: the batch's
    // whose verdict is 0 and the remembered ones whose life time ran out.
    // Empty unless the verdicts are this batch's, one per message.
    std::vector<size_t> CondemnedServerIndexes() const;
    const std::vector<std::string>& ServerIds() const { return serverIds_; }

    // What a copy in the recycle bin keeps besides the text, noted by the
    // protocol as each message arrives.
    struct CopyFacts {
        std::string ServerId, Flags, InternalDate;
    };
    void NoteCopyFacts(size_t position, CopyFacts facts);
    // The message itself inside one of this protocol's fetched replies.
    virtual bool MessageOfReply(const std::string& reply, std::string& message) const = 0;
    // Fetches a message that is not in the batch (a remembered one whose
    // life time ran out) for its copy. 1, or -1 (text recorded).
    virtual int FetchForCopy(size_t serverIndex, std::string& reply, CopyFacts& facts) = 0;

    // IMAP keeps the connection alive while the batch waits to be judged.
    virtual void StartKeepAlive() {}
    virtual void StopKeepAlive() {}

    // Set when the connection can no longer be trusted for deleting.
    std::atomic<bool> ConnectionSpoiled{false};

  private:
    template <class Collector> ReplyResult Collect(Collector& collector);
    // What is left of the session's bound; waits while judging are not
    // counted.
    std::chrono::steady_clock::duration SessionLeft() const;
    void CountServerWait(std::chrono::steady_clock::duration waited);
    void RunSteps(); // the step thread
    void ResetBatch();
    // Judges the batch through the application's pipeline; with a memory,
    // then remembers what was judged and kept.
    void JudgeBatch();
    void SaveMemory(const BatchJudgement& judgement);
    // Copies the condemned to the recycle bin; only those copied stay condemned.
    void CopyCondemnedToBin();
    struct CopyBatch {
        std::vector<BinnedMessage> Copies;
        std::vector<size_t> ServerIndexes;
        size_t Bytes = 0;
    };
    static constexpr size_t kCopyBatchBytes = size_t{8} << 20;
    // Adds the copy of the batch's message `position` (SIZE_MAX: fetched
    // again by server index), writing the batch once it is large.
    void AddCopy(CopyBatch& batch, size_t position, size_t serverIndex, const JudgedMessage& judged,
                 const std::string& reason, std::string& cause);
    void WriteCopies(CopyBatch& batch, std::string& cause);
    // Every condemned server index, before the bin has its say.
    std::vector<size_t> JudgedCondemned() const;
    void FinalStep();
    void EndSession(bool failure);

    size_t fetchedCount_ = 0;
    bool usingMemory_ = false;
    std::string validity_;
    std::vector<std::string> serverIds_;
    JudgedPlan plan_;
    bool memoryCurrent_ = false; // the memory file holds exactly plan_.Remembered
    std::vector<unsigned char> rememberedVerdicts_; // per plan_.Remembered
    std::string pending_;                           // received bytes that belong to the next reply
    std::vector<char> buffer_;
    std::unique_ptr<CMessagePreparer> preparer_; // step thread only
    // The bin's side of a batch: the fetched replies, their facts, the
    // history fields and reasons, and what was copied.
    CFetchSpool spool_;
    std::vector<CopyFacts> copyFacts_;
    std::vector<JudgedMessage> judged_;
    std::vector<std::string> reasons_;
    bool binApplies_ = false;
    std::vector<size_t> binned_; // server indexes, ascending

    mutable std::mutex threadLock_;
    std::condition_variable endedChanged_;
    std::thread stepThread_;
    bool started_ = false;
    bool ended_ = false;
    std::atomic<bool> endedWithFailure_{false};
    LoginProblem problem_ = LoginProblem::None; // what ended the login, if the user must act
    std::string lastRefusal_; // the server's last refusal of the login, as it came
    std::string providerText_; // what the OAuth provider said when it refused

    // The session's bound, step thread only (see SessionAllowance).
    std::chrono::steady_clock::duration serverWait_{};
    long long bytesReceived_ = 0;
    long long repliesRead_ = 0;
    std::atomic<bool> judging_{false};
    std::atomic<bool> sessionTooLong_{false};
};

// The receive time-out of the sessions from the ServerTimeout setting
// (minutes; 3 when 0 or less), or the test override in milliseconds.
std::chrono::milliseconds SessionTimeout(int serverTimeoutMinutes, long long overrideMs);
