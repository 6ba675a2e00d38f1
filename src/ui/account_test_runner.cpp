#include "ui/account_test_runner.h"

#include "app/core/filter_app.h"
#include "mail/session.h"
#include "ui/message_box.h"

AccountTestMessage MessageForTestResult(CFilterApp& app, int result) {
    auto failed = [&app](int textId) {
        return AccountTestMessage{QMessageBox::Critical, LocalText(app, 17035),
                                  LocalText(app, textId)};
    };
    switch (result) {
    case 0:
        return failed(17030);
    case -1:
        return failed(17031);
    case -2:
        return failed(17032);
    case -3:
        return failed(17033);
    case kLoginTlsFailed:
        return failed(18111);
    case kLoginPasswordKept:
        return failed(18112);
    default:
        return {QMessageBox::Information, LocalText(app, 17036), LocalText(app, 17034)};
    }
}

CAccountTestRunner::CAccountTestRunner(CFilterApp& app, QObject* context)
    : app_(app), context_(context) {}

CAccountTestRunner::~CAccountTestRunner() {
    std::list<std::unique_ptr<Test>> remaining;
    {
        std::lock_guard guard(lock_);
        remaining.swap(tests_);
    }
    for (auto& test : remaining)
        if (test->Thread.joinable())
            test->Thread.join();
}

void CAccountTestRunner::Start(std::string server, std::string user, std::string password,
                               bool imap, Finished finished) {
    auto test = std::make_unique<Test>();
    Test* raw = test.get();
    std::lock_guard guard(lock_);
    tests_.push_back(std::move(test));
    raw->Thread =
        std::thread([this, raw, server = std::move(server), user = std::move(user),
                     password = std::move(password), imap, finished = std::move(finished)] {
            int result = app_.TestAccount(server, user, password, imap);
            AccountTestMessage message = MessageForTestResult(app_, result);
            // The last thing this thread does. Dropped if the window is gone;
            // the destructor then joins the thread instead.
            QMetaObject::invokeMethod(
                context_,
                [this, raw, result, message, finished] {
                    Collect(raw);
                    finished(result, message);
                },
                Qt::QueuedConnection);
        });
}

void CAccountTestRunner::Collect(Test* test) {
    std::unique_ptr<Test> done;
    {
        std::lock_guard guard(lock_);
        for (auto it = tests_.begin(); it != tests_.end(); ++it) {
            if (it->get() == test) {
                done = std::move(*it);
                tests_.erase(it);
                break;
            }
        }
    }
    if (done && done->Thread.joinable())
        done->Thread.join(); // it has nothing left to do but return
}

int CAccountTestRunner::Running() const {
    std::lock_guard guard(lock_);
    return static_cast<int>(tests_.size());
}
