#pragma once
// CImapSession: the IMAP dialogue (LOGIN, SELECT INBOX, FETCH, STORE, CLOSE
// and NOOP with their fixed tags; no LOGOUT), byte for byte, on the session
// step machine.
//
// Message numbers are only trusted while the server reports no EXPUNGE: once
// it has (after SELECT), the session sends no further STORE. The condemned
// messages are marked with as few STORE commands as the line length allows.
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

  protected:
    void StartKeepAlive() override;
    void StopKeepAlive() override;

  private:
    // Sends `command` and reads the response tagged `tag`. Complete, or the
    // failure (text recorded).
    ReplyResult Exchange(const std::string& command, CImapResponseCollector& collector);
    void SendClose();

    bool selected_ = false; // step threads only
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

// The message count of a SELECT response: the number of the untagged line
// that ends in the first "EXISTS". -1 when the response has no "EXISTS"; a
// negative number counts as beyond kMaxMessageCount.
long ParseExistsCount(const std::string& response);
