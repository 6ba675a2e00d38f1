#pragma once
// CFilterApp: the program's shared state and the operations on it. One
// instance lives for the whole program (tests make their own).
//
// Threads: the window thread, short-lived check workers, session step
// threads. AppLock orders the check cycle's session start and the judging of
// batches; the window thread never takes it, because the pipeline holds it
// while it waits for the user's answer to a question that only the window
// thread can show. Everything the window thread shares with the check threads
// is race-free on its own: atomics for numbers and flags, small locks or
// whole-value snapshots for strings and lists, never held while anyone waits
// for the user.
#include "app/core/check_progress.h"
#include "app/core/check_report.h"
#include "app/core/check_timers.h"
#include "app/core/localizable.h"
#include "app/core/prompts.h"
#include "filter/history_entry.h"
#include "filter/learned_score.h"
#include "platform/date_time.h"
#include "platform/snapshot.h"
#include "store/judged_memory.h"
#include "store/sender_set.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct MessageFields;
enum class Lesson : unsigned char;
struct PreparedMessage;
class CPop3Session;
class CImapSession;
class IKeyring;
class IOAuthTokenEndpoint;
struct OAuthAccount;
struct TokenGrant;

// Text ids and file names used across subsystems.
inline constexpr int kStartupErrorTextId = 17022;
inline constexpr const char* kSettingsFileName = "Settings.ini";
inline constexpr const char* kAccountFileName = "ZRKList.zrk";
inline constexpr const char* kFriendListFileName = "Friend List.zrk";
inline constexpr const char* kBlockedListFileName = "Blocked List.zrk";
inline constexpr const char* kHistoryFileName = "history.zrk";
inline constexpr const char* kJudgeOnceKey = "JudgeOnce"; // in [SETTINGS]
inline constexpr const char* kRecycleBinDaysKey = "RecycleBinDays";
inline constexpr const char* kRecycleBinMaxMBKey = "RecycleBinMaxMB";
inline constexpr const char* kDryRunKey = "DryRun";
// The desktop's tray icon and notifications, in [SETTINGS].
inline constexpr const char* kShowTrayIconKey = "ShowTrayIcon";
inline constexpr const char* kNotifyQuestionsKey = "NotifyQuestions";
inline constexpr const char* kNotifyDeletionsKey = "NotifyDeletions";
inline constexpr const char* kNotifyLoginFailuresKey = "NotifyLoginFailures";
inline constexpr const char* kDecodeMailKey = "DecodeMail";
inline constexpr const char* kLearnedTokensFileName = "Learned Tokens.zrk";
inline constexpr int kDefaultRecycleBinMaxMB = 500;

enum class HistoryWriteMode { Normal, Clear };

// A mail's identity for the learned score, made of what its history record
// keeps (sender, subject and date cuts) and the digest that ends its repeat
// key (the body cut's): a correction from the history finds what the check
// learned.
std::string LearningKey(const std::string& sender, const std::string& subject,
                        const std::string& date, const std::string& repeatKey);

// What the judging of one session's batch gives back to the session.
struct BatchJudgement {
    // Per message of the batch: 0 delete on the server, 1 keep. Empty when
    // the batch was not judged (not every message was prepared).
    std::vector<unsigned char> Verdicts;
    // Per message: what a memory of judged messages keeps of it (no Id yet).
    std::vector<JudgedMessage> Judged;
    // Per message: a question about its sender got no answer; judge it again.
    std::vector<bool> Unanswered;
    // Per remembered message: 0 when its life time has run out (delete it).
    std::vector<unsigned char> RememberedVerdicts;
    // Per message: the reason its history record gives (empty: kept).
    std::vector<std::string> Reasons;
};

class CFilterApp {
  public:
    CFilterApp();
    ~CFilterApp();
    CFilterApp(const CFilterApp&) = delete;
    CFilterApp& operator=(const CFilterApp&) = delete;

    // ---- Start-up (app/core/startup.cpp) ----
    // The core part of start-up: install path, settings file, all settings.
    // false when the program must not start (show StartupErrorText()).
    bool InitInstance();
    int CheckInstallPath();   // 1, or -1 when the registry value "Path" is missing
    int SettingsFileExists(); // 1, or -1 when SettingsFilePath cannot be opened
    std::string StartupErrorText();

    // ---- Settings file (store/settings_file.cpp) ----
    void LoadAllSettings();
    void SaveAllSettings();
    void ReadNumberedSettings(std::array<int, 9>& stage);
    void WriteNumberedSettings(const std::array<int, 9>& stage, class CProfileWriteBatch& batch);
    std::vector<std::string> ReadStringList(const std::string& section, const std::string& countKey,
                                            const std::string& prefix);
    void WriteStringList(const std::string& section, const std::string& countKey,
                         const std::string& prefix, const std::vector<std::string>& list,
                         class CProfileWriteBatch& batch);

    // ---- Localized text (store/localized_text.cpp) ----
    std::string GetLocalizedText(int textId, const std::string& englishDefault);
    void LocalizeDialog(ILocalizableWindow& window, const std::vector<std::string>& defaults,
                        int firstTextId, const std::vector<int>& controlIds, int count);
    int GetLanguageName();
    std::string GetLanguageNameValue() const;

    // ---- History (filter/history_load.cpp, filter/history_file.cpp) ----
    // Reads history.zrk into HistoryList, appending to what is there.
    void LoadHistoryFile();
    // LoadHistoryFile on a thread of its own, so that a years-long history
    // does not hold up start-up; every history operation below waits until
    // it is done.
    void StartHistoryLoad();
    void WriteHistoryFile(HistoryWriteMode mode);
    // The window thread's view of HistoryList: a snapshot taken under the
    // history lock (cheap: entries are shared, never changed in place).
    std::vector<std::shared_ptr<const HistoryEntry>> GetHistorySnapshot() const;
    size_t GetHistorySize() const;
    // Returns the entry as the list holds it: the handle by which the batch
    // finds it again, wherever a "Clear History" has left it.
    std::shared_ptr<const HistoryEntry> AppendHistoryEntry(HistoryEntry entry);
    void ReplaceHistoryEntry(size_t index, HistoryEntry entry);
    // Replaces the entry `appended` (an AppendHistoryEntry result); false
    // when the list no longer holds it.
    bool ReplaceHistoryEntry(const std::shared_ptr<const HistoryEntry>& appended,
                             HistoryEntry entry);
    // "Clear History": deletes the file and empties the list, as one step.
    void ClearHistory();

    // ---- Filter (src/filter) ----
    // Judges one mailbox's fetched texts (element i = message i + 1) under
    // AppLock: parse, judge, life time, history, repeated mails. Returns the
    // verdicts of exactly this batch (0 delete on the server, 1 keep); they are
    // also left in MessageVerdicts. Each text is freed once parsed.
    std::vector<unsigned char> JudgeBatch(std::vector<std::string> messages);
    // The same for messages already parsed (element i = message i + 1).
    std::vector<unsigned char> JudgePreparedBatch(std::vector<PreparedMessage> messages);
    // The hand-over from a session's final step (src/filter/pipeline_entry.cpp):
    // judges the batch of `batchSize` messages, counting repeats together
    // with the `remembered` messages kept at earlier checks, and applies the
    // life time to those remembered ones. Nothing is judged unless every
    // message of the batch was prepared.
    // In a dry run the records of condemned mail say "would be deleted".
    BatchJudgement ProcessFetchedMessages(std::vector<PreparedMessage> prepared, size_t batchSize,
                                          const std::vector<JudgedMessage>& remembered,
                                          bool dryRun = false);
    // The life-time rule for messages judged and kept at earlier checks: 0
    // for each whose life time has run out, with its history entry (AppLock).
    std::vector<unsigned char>
    ExpireRememberedMessages(const std::vector<JudgedMessage>& remembered);
    // Marks the repeated mails of the batch being judged, and their entries
    // of BatchHistoryEntries that the history still holds (AppLock held).
    void MarkRepeatedMessages();
    // Teaches the learned score what the user decided about the batch's mail.
    void LearnFromBatch(const std::vector<PreparedMessage>& messages,
                        const std::vector<std::string>& keys);
    // What the rules read of a prepared message (its decoded text moved out).
    MessageFields RuleFieldsOf(PreparedMessage& message,
                               const std::shared_ptr<const class CSpamScorer>& scorer);
    int JudgeMessage(std::string sender, std::string senderDomain, std::string bodyText, int size,
                     std::string subject, std::string attachmentTypes);
    int JudgeMessageFields(const MessageFields& message);
    // Sets VerdictLesson from the user's answer.
    int AskAboutNewSender(const MessageFields& message);
    // "Probably spam", "Probably not spam", "Not sure" in the user's language.
    std::string GuessText(SpamGuess guess);
    void BuildSpamWordTables();

    // ---- Sender list files (src/store/sender_list.cpp) ----
    // Rows for a list page: display text and the offset of the entry's line.
    struct SenderRow {
        std::string DisplayText;
        int64_t Offset = 0;
    };
    void LoadSenderList(std::vector<SenderRow>* rows, const std::string& fileName);
    uint32_t AppendSender(const std::string& fileName, const std::string& name,
                          const std::string& domain);
    void MarkSenderDeleted(const std::string& fileName, int64_t offset);
    void CompactDataFile(const std::string& fileName, const std::string& marker);

    // ---- Account file (src/store/account_file.cpp) ----
    struct AccountRow {
        std::string DisplayName; // account name, or server name when that is empty
        std::string TypeText;    // "POP3" or "IMAP"
        int64_t Offset = 0;
    };
    // 1 written as asked; 0 written with the password in the file because
    // the keyring did not store it (the user should hear of it).
    int AppendAccountRecord(bool pop3, const std::string& accountName,
                            const std::string& serverName, const std::string& userName,
                            const std::string& password);
    void LoadAccountList(std::vector<AccountRow>* rows, std::vector<std::string>& accountNames);
    void MarkAccountRecordDead(int64_t offset);

    // ---- Account passwords (src/store/account_passwords.cpp) ----
    // The desktop keyring; set before start-up, then fixed. Null: no
    // keyring, passwords stay in the account file.
    IKeyring* Keyring = nullptr;
    // The password a record's password field stands for: "*" none, the
    // keyring marker the keyring's entry (none when it cannot answer; the
    // reason is logged), anything else itself. Any thread.
    std::string AccountPassword(char type, const std::string& account, const std::string& server,
                                const std::string& user, const std::string& field);
    // 1 when the keyring stored it, -1 (logged) when not or there is no keyring.
    int StoreAccountPassword(char type, const std::string& account, const std::string& server,
                             const std::string& user, const std::string& password);
    // Deletes the keyring entry of that identity unless a live record still
    // points at it.
    void ForgetUnusedAccountPassword(char type, const std::string& account,
                                     const std::string& server, const std::string& user);
    // Start-up, before the first check: moves the file's passwords into the
    // keyring and drops the dead records, which still hold theirs. 1 moved,
    // 0 nothing to do (or no keyring), -1 the file stays as it was (logged).
    int MoveAccountPasswordsToKeyring();

    // ---- OAuth 2.0 sign-in (src/app/core/oauth_access.cpp) ----
    // The providers' token endpoints; set before start-up, then fixed. Null:
    // no token can be had, OAuth accounts wait for one.
    IOAuthTokenEndpoint* TokenEndpoint = nullptr;
    // An access token for a login of that account: the one held while it has
    // more than a few minutes to live, else a fresh one. `renew`: the server
    // refused the one given. 1 `token` set; -1 the provider was not reached
    // (try again at the next check); -2 the user must sign in again (not
    // signed in, or the provider refused; its words in `why`).
    int OAuthAccessToken(char type, const std::string& server, const std::string& user, bool renew,
                         std::string& token, std::string& why);
    // Keeps a sign-in: the account's client and refresh token (in the
    // keyring where there is one) and the access token for the next login.
    // 1 kept; -1 not (logged).
    int KeepOAuthSignIn(const OAuthAccount& account, const TokenGrant& grant);
    // The account's stored sign-in, refresh token resolved. 1 or 0 (none).
    int ReadOAuthSignIn(char type, const std::string& server, const std::string& user,
                        OAuthAccount& account);
    // Drops the stored sign-in and its tokens.
    void ForgetOAuthSignIn(char type, const std::string& server, const std::string& user);
    // The clock of the tokens' life times (tests advance their own).
    std::function<std::chrono::steady_clock::time_point()> TokenClock = [] {
        return std::chrono::steady_clock::now();
    };

    // ---- Check cycle (src/app/core/check_cycle.cpp) ----
    int ReadAccountLists();
    void RunMailCheck();
    void OnTimer(int timerId); // timers 8003 and 8005 of the main window
    void CheckNow();           // the "Check Now" button and `drossgate-ctl check`
    int TestAccount(const std::string& server, const std::string& user,
                    const std::string& password);
    // The same test with the IMAP login on ImapPort when `imap` is true.
    int TestAccount(const std::string& server, const std::string& user, const std::string& password,
                    bool imap);
    // Waits until no check worker and no session is running (every cycle
    // started so far has started its sessions and all of them have ended).
    // Call after CheckNow(): CheckNow counts its worker before it returns.
    // true when idle, false on time-out. Any thread but a session's own.
    bool WaitForCheckToFinish(std::chrono::milliseconds timeout);
    int RunningSessionCount() const; // sessions started and not yet ended
    bool CheckInProgress() const;    // a check worker or a session is running

    // ---- Status ----
    // Records the text in LastStatusText and writes it, with a time stamp and
    // the account's name, to standard error.
    void SetLastStatusText(const std::string& text, const std::string& accountName = {});
    // One time-stamped line on standard error, naming the account ("-" for none).
    void LogLine(const std::string& text, const std::string& accountName);
    std::string GetLastStatusText() const;

    // ---- Paths ----
    std::string DataFilePath(const std::string& fileName) const; // InstallPath + "/" + name

    // ---- Fields (names as the rest of the program knows them) ----
    std::atomic<bool> CheckBusy{false};
    std::string InstallPath;      // set once at start-up, then read-only
    std::string SettingsFilePath; // set once at start-up, then read-only
    std::atomic<bool> CheckRequested{false};
    std::atomic<bool> CycleRunning{false};

    // Settings 10001..10009. Written by the window thread, read by checks.
    std::atomic<int> Pop3Port{110};
    std::atomic<int> ImapPort{143};
    std::atomic<int> ServerTimeout{3};
    std::atomic<int> CheckInterval{5};
    std::atomic<int> NewSenderAction{0};
    std::atomic<int> MaxAttachmentSize{1000};
    std::atomic<int> HiddenOptionFlag{0};
    std::atomic<int> FilterLevel{4};
    std::atomic<int> MailLifeTime{5};
    // [SETTINGS] MatchBareAddress: the sender lists also match the sender's
    // bare address (off when the key is absent or 0).
    std::atomic<bool> MatchBareAddress{false};
    // [SETTINGS] DecodeMail: the rules read the mail decoded: the sender from
    // the From field, the decoded subject and text, and the spam expressions
    // match whatever the case (off when the key is absent or 0).
    std::atomic<bool> DecodeMail{false};
    // [SETTINGS] JudgeOnce: each message is judged only once; later checks
    // fetch only what is new (off when the key is absent or 0).
    std::atomic<bool> JudgeOnce{false};
    // [SETTINGS] RecycleBinDays: days a copy of deleted mail is kept; 0 (or
    // the key absent): no recycle bin, mail is deleted directly.
    std::atomic<int> RecycleBinDays{0};
    // [SETTINGS] RecycleBinMaxMB: the most the bin holds; the oldest go first.
    std::atomic<int> RecycleBinMaxMB{kDefaultRecycleBinMaxMB};
    // [SETTINGS] DryRun: checks judge and record but delete nothing.
    std::atomic<bool> DryRun{false};
    // The next cycle is a dry run whatever DryRun says (`check --dry-run`).
    std::atomic<bool> NextCheckDryRun{false};
    // [SETTINGS] ShowTrayIcon and the three Notify keys: the tray icon, and a
    // desktop notification when a question waits, when a check deleted mail,
    // when an account cannot log in (each off when its key is absent or 0).
    std::atomic<bool> ShowTrayIcon{false};
    std::atomic<bool> NotifyQuestions{false};
    std::atomic<bool> NotifyDeletions{false};
    std::atomic<bool> NotifyLoginFailures{false};
    std::array<int, 9> SettingsStage{}; // window thread only

    // Lists of the settings file, replaced as a whole.
    CSnapshot<std::vector<std::string>> ForbiddenExtensions;
    CSnapshot<std::vector<std::string>> SpamWordList;

    // The filter's sender lists.
    CSenderSet FriendAddresses, FriendDomains, BlockedAddresses, BlockedDomains;

    // Spam tables: built once on the window thread before the first check
    // starts (thread start orders them before every reader), then fixed.
    std::vector<std::string> SpamExpressionList;
    std::vector<int> SpamDegreeList;
    int SpamDegreeTotal = 0;
    std::atomic<bool> SpamTablesBuilt{false};

    // The one lock that orders cycle start and batch judging. Re-entrant.
    std::recursive_mutex AppLock;

    // Batch state, guarded by AppLock.
    std::string VerdictReason;
    Lesson VerdictLesson{}; // what the message being judged teaches
    std::vector<Lesson> BatchLessons;
    std::vector<unsigned char> MessageVerdicts;
    std::vector<std::string> MessageKeys;
    // The history entry appended for each message of the batch.
    std::vector<std::shared_ptr<const HistoryEntry>> BatchHistoryEntries;
    // Set by the sender step when a new sender's question got no answer (no
    // window, or quitting): that mail stays on the server whatever the later
    // rules say, and is asked about again at the next check.
    bool SenderLeftUnanswered = false;
    std::vector<bool> UnansweredMessages; // per message of the batch being judged
    // Repeat-key digests of the messages kept at earlier checks, counted with
    // the batch by the identical-mail limit; and per message of the batch,
    // what a memory of judged messages keeps of it.
    std::vector<std::string> RememberedKeyDigests;
    std::vector<JudgedMessage> BatchJudged;
    std::vector<std::string> BatchReasons; // per message: the reason as judged
    bool BatchDryRun = false;              // the batch's records say "would be deleted"
    // A reason as the batch's history record gives it.
    std::string RecordedReason(std::string reason) const;

    // Per-cycle account records and sessions (check cycle). Guarded by
    // CycleLock; sessions are shared so a session of an earlier cycle stays
    // valid while it runs.
    mutable std::mutex CycleLock;
    std::vector<std::string> Pop3AccountLines, ImapAccountLines;
    std::vector<std::shared_ptr<CPop3Session>> Pop3Sessions;
    std::vector<std::shared_ptr<CImapSession>> ImapSessions;

    // User questions and timers, set by the windows (or tests) before the
    // first check; null means no window: the question gets "no answer"
    // (login: Cancel).
    std::atomic<INewSenderPrompt*> NewSenderPrompt{nullptr};
    std::atomic<ILoginPrompt*> LoginPrompt{nullptr};
    std::atomic<IPlainTextPrompt*> PlainTextPrompt{nullptr};
    std::atomic<ISignInPrompt*> SignInPrompt{nullptr};
    ICheckTimers* Timers = nullptr;

    // "Now" for the life-time rule; tests inject a fixed clock.
    LocalClock Clock = CurrentLocalTime;

    // Tests: a receive/connect time-out in milliseconds that replaces the
    // ServerTimeout minutes when > 0.
    std::atomic<long long> ServerTimeoutMsOverride{0};

  private:
    // Access tokens held for the next logins, by account (oauth_access.cpp).
    struct HeldToken {
        std::string Token;
        std::chrono::steady_clock::time_point Expires;
        std::chrono::steady_clock::duration Lifetime{};
    };
    std::mutex tokenLock_; // the two maps; never held while a provider is asked
    std::map<std::string, HeldToken> heldTokens_;
    // One renewal at a time per account, held while its provider answers:
    // two sessions of one account must not both spend a refresh token that
    // the provider may rotate, and other accounts need not wait for it.
    std::map<std::string, std::shared_ptr<std::mutex>> renewLocks_;
    std::mutex oauthFileLock_; // one rewrite of OAuth.txt at a time
    void HoldToken(const std::string& key, const TokenGrant& grant);
    int StoreOAuthSignIn(OAuthAccount account); // keyring or file; 1 or -1 (logged)

    mutable std::mutex statusLock_;
    std::string lastStatusText_;

    mutable std::mutex languageLock_;
    std::string languageName_;
    std::string languageFilePath_;

    // HistoryList and what the history file is known to hold.
    mutable std::recursive_mutex historyFileLock_; // orders writes and clears of the file
    mutable std::mutex historyLock_;
    mutable std::condition_variable historyLoaded_;
    bool historyLoading_ = false; // StartHistoryLoad's thread is still reading
    std::thread historyLoader_;
    // Waits out a loading history; `guard` holds historyLock_.
    void WaitForHistoryLoad(std::unique_lock<std::mutex>& guard) const;
    void ReadHistoryIntoList(); // the work of LoadHistoryFile
    std::vector<std::shared_ptr<const HistoryEntry>> historyList_;
    size_t historyRecordsInFile_ = 0; // leading entries the file holds unchanged
    int64_t historyFileBytes_ = -1;   // size the file has after our last write; -1 unknown
    bool historyFileUnread_ = false;  // the load failed part-way: append, never replace

  public:
    // The learned score; outlives the check threads that use it.
    CLearnedScore LearnedScore;

    // What the checks did, and who hears of it (the desktop; null: nobody).
    CCheckReport CheckReport;
    std::atomic<ICheckEvents*> CheckEvents{nullptr};

    // Running check workers and sessions. Declared last: destroyed first, it
    // ends and joins them while everything they use still exists.
    CCheckProgress CheckProgress;
};
