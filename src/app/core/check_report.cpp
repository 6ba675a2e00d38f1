#include "app/core/check_report.h"

#include <numeric>

int CheckSummary::Judged() const {
    return std::accumulate(Accounts.begin(), Accounts.end(), 0,
                           [](int sum, const AccountOutcome& a) { return sum + a.Judged; });
}

int CheckSummary::Deleted() const {
    return std::accumulate(Accounts.begin(), Accounts.end(), 0,
                           [](int sum, const AccountOutcome& a) { return sum + a.Deleted; });
}

void CCheckReport::Record(AccountOutcome outcome) {
    std::lock_guard guard(lock_);
    if (outcome.Problem == LoginProblem::None)
        problems_.erase(outcome.Account);
    else
        problems_[outcome.Account] = outcome;
    pending_.push_back(std::move(outcome));
}

std::map<std::string, AccountOutcome> CCheckReport::LoginProblems() const {
    std::lock_guard guard(lock_);
    return problems_;
}

CheckSummary CCheckReport::Finish(const std::string& endedAt) {
    std::lock_guard guard(lock_);
    last_.EndedAt = endedAt;
    last_.Accounts = std::move(pending_);
    pending_.clear();
    return last_;
}

CheckSummary CCheckReport::Last() const {
    std::lock_guard guard(lock_);
    return last_;
}
