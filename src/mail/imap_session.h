#pragma once
// CImapSession: the IMAP dialogue on the session steps. Every command of one
// kind carries its own fixed tag (the table in imap_session.cpp).
//
// Bodies are fetched with BODY.PEEK[], so judging never sets \Seen, and many
// messages at a time with one FETCH of a sequence or UID set: every body the
// server returns is assigned to its message by the number or UID of its
// untagged FETCH line, never by the order of arrival. A body for a message
// not asked for, one that comes twice, or one that does not come ends the
// session with nothing deleted.
//
// \Deleted flags outlive a session that is cut off while it marks, and a
// CLOSE removes every flagged message, whoever flagged it. So where the
// server offers UIDPLUS, the session marks and removes exactly its condemned
// messages by UID and ends with LOGOUT, never CLOSE. Without UIDPLUS it
// sends CLOSE only when no message of the inbox carries a \Deleted flag that
// the verdicts do not condemn, no EXPUNGE has moved the numbers and no new
// mail has come; otherwise it ends with LOGOUT and says why.
//
// With a memory of judged messages (JudgedMemoryPath) the session lists the
// inbox's UIDs (UID SEARCH ALL), fetches only the new ones and works by UID
// throughout. A UIDVALIDITY other than the memory's makes every message new;
// one that changes during the session ends it with nothing deleted.
//
// The keep-alive runs on a timer thread of the session while the batch waits
// to be judged, and is stopped and joined before the first STORE, so it can
// never send between the delete commands.
#include "mail/session.h"

#include <unordered_map>

// The commands of the dialogue.
enum class ImapCommand {
    Login,
    Noop,
    Store,
    UidStore,
    Capability,
    UidExpunge,
    Logout,
    UidSearch,
    Select,
    Fetch,
    UidFetch,
    Close,
    StartTls,
    Authenticate,
};

struct ImapCapabilities;

class CImapSession : public CMailSession {
  public:
    explicit CImapSession(CFilterApp& app) : CMailSession(app, 'I') {}
    ~CImapSession() override;

    void KeepAlive() override;
    void DeleteMarkedAndQuit() override;
    int LoginAndCount() override;
    int FetchMessage() override;
    bool MessageOfReply(const std::string& reply, std::string& message) const override;
    int FetchForCopy(size_t serverIndex, std::string& reply, CopyFacts& facts) override;
    int Login() override;

    bool SawExpunge() const { return sawExpunge_.load(); }
    // Whether the server offers UID EXPUNGE (for tests and logs).
    bool UidPlus() const { return uidPlus_; }
    // Messages asked for by one FETCH: few round trips, and a bounded
    // number of bodies in flight.
    int FetchWindow = 100;

  protected:
    void StartKeepAlive() override;
    void StopKeepAlive() override;

  private:
    // Sends `command` with its tag and `arguments`, and reads the response
    // into `reply` (made by Reply). Complete, or the failure (text recorded).
    ReplyResult Exchange(ImapCommand command, const std::string& arguments,
                         CImapResponseCollector& reply);
    ReplyResult Exchange(const std::string& commandLine, CImapResponseCollector& reply);
    CImapResponseCollector Reply(ImapCommand command) const;
    // Before the user name: the capabilities (of the greeting, else asked),
    // and STARTTLS when offered (see SecureBeforeLogin). 1, -1,
    // kLoginTlsFailed or kLoginPasswordKept.
    int SecureTransport(const std::string& greeting);
    // AUTHENTICATE with an OAuth 2.0 initial response: 1 accepted, 0
    // refused, -1 failed (text recorded).
    int Authenticate(OAuthMechanism mechanism, const std::string& initialResponse);
    // Takes the capabilities a response lists, if it lists any.
    void NoteCapabilities(const ImapCapabilities& offered);
    // Ends the dialogue without removing anything: LOGOUT.
    void Logout();
    // The batch from the inbox's UIDs and the memory. 1, or -1 (text recorded).
    int PlanByUid();
    // Marks and removes `uids` by UID, then LOGOUT (text recorded).
    void RemoveByUid(const std::vector<long>& uids);
    // Marks `uids` by UID and sends CLOSE when the \Deleted UIDs of the
    // inbox are exactly theirs, before and after the marking.
    void RemoveByUidAndClose(const std::vector<long>& uids);
    // UID STORE +FLAGS (\Deleted) of `uids`; false when a reply failed.
    bool MarkByUid(const std::vector<long>& uids);
    // CLOSE, which removes every flagged message, and the end of the dialogue.
    void CloseAndEnd();
    // The UIDs that carry \Deleted now; false when the search failed.
    bool SearchDeleted(std::vector<uint64_t>& uids);
    // Why a CLOSE now could remove a message that `verdicts` keep, or null.
    const char* CloseWouldHarm(const std::vector<unsigned char>& verdicts) const;
    // Takes one fetched body: false when it is no body this FETCH asked for.
    bool TakeBody(long number, const FetchItems& items, std::string text);
    // The UID of the server's message `index` + 1, or 0 when unknown.
    uint64_t UidOf(size_t index) const;

    bool selected_ = false; // step threads only
    bool uidPlus_ = false;
    bool capabilitiesKnown_ = false;
    OAuthMechanism oauth_ = OAuthMechanism::None; // the best one offered
    bool saslIr_ = false; // the initial response may go with the command
    bool loggedOut_ = false;
    std::string selectedValidity_; // UIDVALIDITY of the SELECT
    std::vector<uint64_t> uids_;   // element n - 1 = message n (UIDPLUS or memory)
    ImapFlagTable flags_;          // after SELECT
    long largestExists_ = -1;      // after SELECT
    std::atomic<bool> sawExpunge_{false};
    // The FETCH in progress: the batch position of each message asked for
    // (by number, or by UID with a memory), and which have arrived.
    std::unordered_map<uint64_t, size_t> asked_;
    size_t arrived_ = 0;
    bool strayBody_ = false;
    std::mutex keepAliveLock_;
    std::condition_variable keepAliveWake_;
    bool keepAliveStop_ = false;
    std::thread keepAliveThread_;
};

// The command line of `command`: its tag, its word, `arguments`, CR LF.
std::string ImapCommandLine(ImapCommand command, const std::string& arguments = {});
const char* ImapTag(ImapCommand command);
// `command`'s tag and word, a sequence set of `numbers` (ascending) and
// `tail`, for as many sets as it takes: each line at most kMaxStoreLine bytes.
std::vector<std::string> ImapSetCommands(ImapCommand command, const std::vector<long>& numbers,
                                         const std::string& tail);

// The mark-deleted commands for the messages whose verdict is 0 (element i =
// message i + 1): "A003 STORE <set> FLAGS (\Deleted)\r\n" with ascending,
// merged sequence sets, each line at most kMaxStoreLine bytes.
inline constexpr size_t kMaxStoreLine = 1000;
std::vector<std::string> MarkDeletedCommands(const std::vector<unsigned char>& verdicts);

// The capabilities of a response (untagged CAPABILITY lines and
// [CAPABILITY ...] codes) that the session uses.
struct ImapCapabilities {
    bool Listed = false; // the response lists any
    bool UidPlus = false;
    bool StartTls = false;
    bool OAuthBearer = false, XOAuth2 = false;
    bool SaslIr = false; // SASL-IR: the initial response on the command line
};
ImapCapabilities ReadCapabilities(std::string_view response);

// Status texts of the endings that leave the inbox as it is.
inline constexpr const char* kTextForeignDeleted =
    "Nothing deleted: the inbox holds other mails marked deleted";
inline constexpr const char* kTextInboxGrew = "Nothing deleted: new mail arrived during the check";
inline constexpr const char* kTextLeftMarked =
    "Deleted mails left marked: the inbox changed while they were marked";
inline constexpr const char* kTextExpungeRefused =
    "Deleted mails left marked: the server did not remove them";

// The message count of a SELECT response: the number of the untagged line
// that ends in the first "EXISTS". -1 when the response has no "EXISTS"; a
// negative number counts as beyond kMaxMessageCount.
long ParseExistsCount(const std::string& response);
