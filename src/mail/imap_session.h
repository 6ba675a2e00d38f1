#pragma once
// CImapSession: the IMAP dialogue (LOGIN, CAPABILITY, SELECT INBOX, FETCH,
// STORE, UID EXPUNGE, CLOSE, LOGOUT and NOOP with their fixed tags), byte for
// byte, on the session step machine.
//
// \Deleted flags outlive a session that is cut off while it marks, and a
// CLOSE removes every flagged message, whoever flagged it. So where the
// server offers UIDPLUS, the session marks and removes exactly its condemned
// messages by UID and ends with LOGOUT, never CLOSE. Without UIDPLUS it
// sends CLOSE only when no message of the inbox carries a \Deleted flag that
// the verdicts do not condemn, no EXPUNGE has moved the numbers and no new
// mail has come; otherwise it ends with LOGOUT and says why.
//
// Message numbers are only trusted while the server reports no EXPUNGE: once
// it has (after SELECT), the session sends no further STORE by number. The
// condemned messages are marked with as few STORE commands as the line
// length allows.
// The keep-alive runs on a timer thread of the session while the batch waits
// to be judged, and is stopped and joined before the first STORE, so it can
// never send between the delete commands.
#include "mail/session.h"

class CImapSession : public CMailSession {
  public:
    explicit CImapSession(CFilterApp& app) : CMailSession(app, 'I') {}
    ~CImapSession() override;

    long FindMessageEnd(std::string_view chunk) override;
    void KeepAlive() override;
    void DeleteMarkedAndQuit() override;
    void Quit() override;
    int LoginAndCount() override;
    int FetchMessage() override;
    int Login() override;

    bool SawExpunge() const { return sawExpunge_.load(); }
    // Whether the server offers UID EXPUNGE (for tests and logs).
    bool UidPlus() const { return uidPlus_; }

  protected:
    void StartKeepAlive() override;
    void StopKeepAlive() override;

  private:
    // Sends `command` and reads the response tagged `tag`. Complete, or the
    // failure (text recorded).
    ReplyResult Exchange(const std::string& command, CImapResponseCollector& collector);
    void SendClose();
    // Ends the dialogue without removing anything: LOGOUT.
    void Logout();
    // Marks and removes the condemned by UID, then LOGOUT (text recorded).
    void RemoveByUid(const std::vector<unsigned char>& verdicts);
    // Why a CLOSE now could remove a message that `verdicts` keep, or null.
    const char* CloseWouldHarm(const std::vector<unsigned char>& verdicts) const;

    bool selected_ = false; // step threads only
    bool uidPlus_ = false;
    bool capabilitiesKnown_ = false;
    bool loggedOut_ = false;
    std::vector<uint64_t> uids_; // element n - 1 = message n
    ImapFlagTable flags_;        // after SELECT
    long largestExists_ = -1;    // after SELECT
    std::atomic<bool> sawExpunge_{false};
    std::mutex keepAliveLock_;
    std::condition_variable keepAliveWake_;
    bool keepAliveStop_ = false;
    std::thread keepAliveThread_;
};

// The mark-deleted commands for the messages whose verdict is 0 (element i =
// message i + 1): "A003 STORE <set> FLAGS (\Deleted)\r\n" with ascending,
// merged sequence sets, each line at most kMaxStoreLine bytes.
inline constexpr size_t kMaxStoreLine = 1000;
std::vector<std::string> MarkDeletedCommands(const std::vector<unsigned char>& verdicts);
// `head` + set + `tail` for each sequence set of `numbers` (ascending), each
// line at most kMaxStoreLine bytes.
std::vector<std::string> SetCommands(const std::string& head, const std::vector<long>& numbers,
                                     const std::string& tail);

// Reads the capabilities of a response (untagged CAPABILITY lines and
// [CAPABILITY ...] codes): false when it lists none; `uidPlus` set when
// they include UIDPLUS.
bool ReadCapabilities(std::string_view response, bool& uidPlus);

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
