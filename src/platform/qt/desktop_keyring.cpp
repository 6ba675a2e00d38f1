#include "platform/qt/desktop_keyring.h"

#include "store/account_passwords.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <future>
#include <qt6keychain/keychain.h>

namespace {

// An entry no account has: reading it tells whether a keyring answers.
constexpr const char* kProbeKey = "|availability probe";

using Outcome = CDesktopKeyring::Outcome;
using Kind = CDesktopKeyring::Kind;

// One request's answer. `Settled` is taken by whichever comes first: the
// job's end or the caller giving up on it.
struct Answer {
    std::promise<Outcome> Promise;
    std::atomic<bool> Settled{false};
};

// Requests given up on and still running. The library runs its jobs one at a
// time, so while one waits (an unlock prompt nobody answers) every later one
// would wait out its full time too: they fail at once instead.
std::atomic<int> gAbandoned{0};

Outcome OutcomeOf(Kind kind, QKeychain::Job& job) {
    Outcome outcome;
    const QKeychain::Error error = job.error();
    if (error == QKeychain::NoError) {
        outcome.Result = 1;
        if (kind == Kind::Read)
            outcome.Password =
                static_cast<QKeychain::ReadPasswordJob&>(job).textData().toStdString();
    } else if (error == QKeychain::EntryNotFound && kind != Kind::Write) {
        // Deleting what is not there leaves the keyring as asked.
        outcome.Result = kind == Kind::Read ? 0 : 1;
    } else {
        outcome.Why = job.errorString().toStdString();
        if (outcome.Why.empty())
            outcome.Why = "keyring error " + std::to_string(static_cast<int>(error));
    }
    return outcome;
}

// Runs on the keyring's thread: starts the job and answers through `answer`.
void StartJob(QObject* parent, Kind kind, const QString& key, const QString& password,
              std::shared_ptr<Answer> answer) {
    const QString service = QString::fromUtf8(kKeyringService);
    QKeychain::Job* job = nullptr;
    if (kind == Kind::Read) {
        job = new QKeychain::ReadPasswordJob(service, parent);
    } else if (kind == Kind::Write) {
        auto* write = new QKeychain::WritePasswordJob(service, parent);
        write->setTextData(password);
        job = write;
    } else {
        job = new QKeychain::DeletePasswordJob(service, parent);
    }
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    job->setKey(key);
    QObject::connect(job, &QKeychain::Job::finished, job, [kind, answer](QKeychain::Job* done) {
        if (answer->Settled.exchange(true))
            --gAbandoned;
        else
            answer->Promise.set_value(OutcomeOf(kind, *done));
        done->deleteLater();
    });
    job->start();
}

// The jobs' thread and the object in it that parents them; made at first
// use, never ended.
QObject* JobContext() {
    static QObject* context = [] {
        auto* thread = new QThread;
        thread->setObjectName("keyring");
        auto* object = new QObject;
        object->moveToThread(thread);
        thread->start();
        return object;
    }();
    return context;
}

} // namespace

CDesktopKeyring::CDesktopKeyring(std::chrono::milliseconds wait) : wait_(wait) {}

CDesktopKeyring::Outcome CDesktopKeyring::Run(Kind kind, const std::string& key,
                                              const std::string& password) {
    QObject* context = JobContext();
    if (QThread::currentThread() == context->thread())
        return {-1, {}, "the keyring was asked from its own thread"};
    if (gAbandoned.load() > 0)
        return {-1, {}, "the keyring has not answered an earlier request yet"};
    auto answer = std::make_shared<Answer>();
    std::future<Outcome> result = answer->Promise.get_future();
    const QString qKey = QString::fromStdString(key);
    const QString qPassword = QString::fromStdString(password);
    if (!QMetaObject::invokeMethod(
            context,
            [context, kind, qKey, qPassword, answer] {
                StartJob(context, kind, qKey, qPassword, answer);
            },
            Qt::QueuedConnection))
        return {-1, {}, "the keyring's thread is not running"};
    // The second test: the job ended just as the wait did, its answer is on the way.
    if (result.wait_for(wait_) == std::future_status::ready || answer->Settled.exchange(true))
        return result.get();
    ++gAbandoned;
    return {-1, {}, "the keyring did not answer in time"};
}

int CDesktopKeyring::ReadPassword(const std::string& key, std::string& password, std::string& why) {
    Outcome outcome = Run(Kind::Read, key, {});
    password = std::move(outcome.Password);
    why = std::move(outcome.Why);
    return outcome.Result;
}

int CDesktopKeyring::WritePassword(const std::string& key, const std::string& password,
                                   std::string& why) {
    Outcome outcome = Run(Kind::Write, key, password);
    why = std::move(outcome.Why);
    return outcome.Result == 1 ? 1 : -1;
}

int CDesktopKeyring::DeletePassword(const std::string& key, std::string& why) {
    Outcome outcome = Run(Kind::Delete, key, {});
    why = std::move(outcome.Why);
    return outcome.Result == 1 ? 1 : -1;
}

bool CDesktopKeyring::IsAvailable() {
    return Run(Kind::Read, kProbeKey, {}).Result >= 0;
}
