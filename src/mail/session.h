#pragma once
// CMailSession: the conversation with one mailbox during one check, driven by
// a step machine whose state is MessageNumber:
//
//   1 (login, count, fetch of message 1) -> 2 .. MessageCount (fetch message
//   n) -> MessageCount + 1 (judge the batch, delete, close) -> back to 1.
//
// The first step runs on a std::thread of the session; each step starts the
// next as its last action, and the next then runs on that same thread, so the
// steps of one session never overlap. A session never
// deletes a message it has not judged: any failed, timed-out or oversized
// reply ends the session for this check with nothing deleted, and the
// verdicts it deletes by are its own batch's (Verdicts), never another's.
//
// Ownership: a session is always held by a shared_ptr; every step thread
// holds one, so a session outlives the cycle tables that created it until its
// last step has ended.
#include "mail/connection.h"
#include "mail/reply_parser.h"

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

    // ---- The ten operations ----
    // Position of the end of a fetched message within one chunk, or -1.
    virtual long FindMessageEnd(std::string_view chunk) = 0;
    // One no-operation exchange; a failure spoils the connection for deleting.
    virtual void KeepAlive() = 0;
    // Deletes the messages whose verdict is 0, then sends the closing command.
    virtual void DeleteMarkedAndQuit() = 0;
    // Sends the closing command if the session is active. Not used by the steps.
    virtual void Quit() = 0;
    // MessageNumber + 1, then StartStep.
    virtual void NextMessage();
    // The login step. 1: go on to the next step (which may be the final step
    // with an empty batch); -1: the session ends here (text recorded).
    virtual int LoginAndCount() = 0;
    // Fetches message MessageNumber. 1 stored; -1 the session ends here.
    virtual int FetchMessage() = 0;
    virtual void AfterReceive() {}
    virtual void AfterSend() {}
    // Active = 1 and the step for MessageNumber: on a new thread when called
    // from outside, after the current step when called by a step.
    virtual void StartStep();

    // 1 logged in; -1 greeting not the expected one (or the connection
    // failed); -2 no password and the prompt was cancelled; -3 the server
    // rejected user name or password and the prompt was cancelled.
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

    int GetMessageNumber() const { return messageNumber_.load(); }
    // The batch as prepared for judging, element i = message i + 1; waits
    // until the last fetched text is prepared. Empty after the first call.
    std::vector<PreparedMessage> TakePreparedMessages();
    // Step results for tests and logs: the step that ended the session.
    bool EndedWithFailure() const { return endedWithFailure_.load(); }

    // ---- Fields ----
    // Element i = message i + 1, the server's whole reply. Kept here only when
    // a JudgeHook judges; otherwise each text goes on to the judging's
    // preparation as it arrives and its element stays empty (the delete step
    // needs only the count).
    std::vector<std::string> Messages;
    std::atomic<bool> Active{false};
    std::string AccountName;
    int MessageCount = 0;
    // The most that one receive asks for: large enough that a 20 KB mail
    // arrives in a few receives.
    int BufferSize = 64 * 1024;
    int AccountIndex = 0;
    std::string Password;
    std::string UserName;
    int LastResult = 0; // last send (1/-1) or receive (bytes, 0, -1, -2)
    std::string ServerName;
    const char TypeLetter; // 'P' or 'I'
    // This session's own batch verdicts, one per element of Messages: 0
    // delete on the server, anything else keep. Written by the pipeline.
    std::vector<unsigned char> Verdicts;

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
    // Stores the next fetched message's text (see Messages).
    void StoreFetchedMessage(std::string text);
    // The shared use of the login prompt. Before the first attempt and after
    // each rejection: 1 try with UserName/Password; -2 or -3 cancelled (text
    // recorded).
    int PrepareLoginAttempt(bool firstAttempt, LoginPromptData& prompt);
    // A value that would end the command line early is never sent.
    static bool IsSafeArgument(const std::string& value);

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
    void SessionStepThread();
    void RunSteps(); // the step thread: steps until none is pending
    void FinalStep();
    void EndSession(bool failure);
    void SetMessageNumber(int number); // the one place where the state changes

    std::atomic<int> messageNumber_{1};
    std::string pending_; // received bytes that belong to the next reply
    std::vector<char> buffer_;
    std::unique_ptr<CMessagePreparer> preparer_; // step thread only

    mutable std::mutex threadLock_;
    std::condition_variable endedChanged_;
    std::thread stepThread_;
    bool nextStepPending_ = false;
    bool started_ = false;
    bool ended_ = false;
    std::atomic<bool> endedWithFailure_{false};

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
