#include "app/core/filter_app.h"

#include "mail/session.h"
#include "platform/date_time.h"
#include "platform/paths.h"

#include <cstdio>
#include <ctime>

namespace {
std::string MinuteText(const LocalDateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.Year, t.Month, t.Day, t.Hour,
                  t.Minute);
    return text;
}
} // namespace

CFilterApp::CFilterApp() {
    CheckProgress.SessionFinished = [this](const CMailSession& session) {
        CheckReport.Record(session.Outcome());
    };
    CheckProgress.BecameIdle = [this] {
        CheckSummary summary = CheckReport.Finish(MinuteText(Clock()));
        if (ICheckEvents* events = CheckEvents.load())
            events->CheckEnded(summary);
    };
}
CFilterApp::~CFilterApp() {
    if (historyLoader_.joinable())
        historyLoader_.join();
}

std::string CFilterApp::DataFilePath(const std::string& fileName) const {
    return JoinPath(InstallPath, fileName);
}

void CFilterApp::SetLastStatusText(const std::string& text, const std::string& accountName) {
    {
        std::lock_guard guard(statusLock_);
        lastStatusText_ = text;
    }
    // A user has to be able to find out why a check failed: every status
    // goes to standard error too, with a time stamp and the account.
    LogLine(text, accountName);
}

void CFilterApp::LogLine(const std::string& text, const std::string& accountName) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(stderr, "%s drossgate: [%s] %s\n", stamp,
                 accountName.empty() ? "-" : accountName.c_str(), text.c_str());
}

std::string CFilterApp::GetLastStatusText() const {
    std::lock_guard guard(statusLock_);
    return lastStatusText_;
}
