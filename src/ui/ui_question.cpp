#include "ui/ui_question.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace {
struct Question {
    std::mutex lock;
    std::condition_variable answered;
    bool done = false;
    int answer = 0;
    int noAnswer = 0;
    QPointer<QWidget> window;   // touched on the window thread only
    std::function<void()> wake; // set for window-thread callers

    void Complete(int value) {
        std::function<void()> toWake;
        {
            std::lock_guard guard(lock);
            if (done)
                return;
            done = true;
            answer = value;
            toWake = wake;
        }
        answered.notify_all();
        if (toWake)
            toWake();
    }
};

std::mutex registryLock;
std::vector<std::shared_ptr<Question>> openQuestions;
bool quitting = false;

void Forget(const std::shared_ptr<Question>& q) {
    std::lock_guard guard(registryLock);
    std::erase(openQuestions, q);
}
} // namespace

int AskOnUiThread(QuestionOpener open, int noAnswer) {
    QCoreApplication* qtApp = QCoreApplication::instance();
    if (!qtApp)
        return noAnswer;
    auto q = std::make_shared<Question>();
    q->noAnswer = noAnswer;
    {
        std::lock_guard guard(registryLock);
        if (quitting)
            return noAnswer;
        openQuestions.push_back(q);
    }
    // Answered questions stop counting as open at once, not when the asker wakes.
    auto answer = [q](int value) {
        q->Complete(value);
        Forget(q);
    };
    if (QThread::currentThread() == qtApp->thread()) {
        QEventLoop loop;
        q->wake = [&loop] { QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection); };
        q->window = open(answer);
        if (!q->window)
            q->Complete(noAnswer);
        bool finished;
        {
            std::lock_guard guard(q->lock);
            finished = q->done;
        }
        if (!finished)
            loop.exec();
    } else {
        QMetaObject::invokeMethod(
            qtApp,
            [q, open, answer] {
                q->window = open(answer);
                if (!q->window)
                    q->Complete(q->noAnswer);
            },
            Qt::QueuedConnection);
        std::unique_lock guard(q->lock);
        q->answered.wait(guard, [&] { return q->done; });
    }
    Forget(q);
    std::lock_guard guard(q->lock);
    return q->answer;
}

void CancelAllQuestions() {
    std::vector<std::shared_ptr<Question>> pending;
    {
        std::lock_guard guard(registryLock);
        quitting = true;
        pending = openQuestions;
    }
    for (auto& q : pending) {
        q->Complete(q->noAnswer);
        if (q->window)
            q->window->close();
    }
}

int OpenQuestionCount() {
    std::lock_guard guard(registryLock);
    return static_cast<int>(openQuestions.size());
}
