#include "ui/learn_runner.h"

#include "app/core/learn_from_mail.h"

#include <QMetaObject>

CLearnRunner::~CLearnRunner() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
}

bool CLearnRunner::Start(const std::string& path, bool spam, Progress progress, Done done) {
    if (running_.exchange(true))
        return false;
    if (thread_.joinable())
        thread_.join();
    thread_ = std::thread([this, path, spam, progress, done] {
        QObject* target = context_.data();
        QPointer<QObject> context = target;
        std::string error;
        const long read = LearnFromMailAt(
            app_, path, spam,
            [&](long count, long total) {
                QMetaObject::invokeMethod(target, [context, progress, count, total] {
                    if (context)
                        progress(count, total);
                });
                return !stopping_.load();
            },
            error);
        running_ = false;
        QMetaObject::invokeMethod(target, [context, done, read, error] {
            if (context)
                done(read, error);
        });
    });
    return true;
}
