#pragma once
// What the checks did, for the desktop: per account the messages judged and
// deleted and what keeps its login from working, gathered until every check
// started so far has run out, then handed on as one summary. So a
// notification says "3 spam deleted" once per check, never once per mail.
//
// Threads: any; one small lock, never held while calling out.
#include "mail/session_outcome.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

struct CheckSummary {
    std::string EndedAt; // local time, "YYYY-MM-DD HH:MM"
    std::vector<AccountOutcome> Accounts;
    int Judged() const;
    int Deleted() const;
};

class ICheckEvents {
  public:
    virtual ~ICheckEvents() = default;
    // Once per check, on the thread of its last session or worker, without
    // AppLock. Must return quickly: hand the summary to the window thread.
    virtual void CheckEnded(const CheckSummary& summary) = 0;
};

class CCheckReport {
  public:
    void Record(AccountOutcome outcome);
    // Ends the gathering: the summary of what was recorded since the last
    // Finish, also kept as Last().
    CheckSummary Finish(const std::string& endedAt);
    CheckSummary Last() const; // EndedAt empty before the first check ended
    // The accounts whose latest check ended in a login problem, by account:
    // one checked since without a problem is no longer among them.
    std::map<std::string, AccountOutcome> LoginProblems() const;

  private:
    std::map<std::string, AccountOutcome> problems_;
    mutable std::mutex lock_;
    std::vector<AccountOutcome> pending_;
    CheckSummary last_;
};
