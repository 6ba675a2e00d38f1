#include "ui/main_window_timers.h"

#include "app/core/filter_app.h"

#include <QThread>
#include <algorithm>
#include <climits>

CMainWindowTimers::CMainWindowTimers(CFilterApp& app, QObject* parent)
    : QObject(parent), app_(app), checkTimer_(new QTimer(this)), retryTimer_(new QTimer(this)) {
    checkTimer_->setTimerType(Qt::CoarseTimer);
    retryTimer_->setTimerType(Qt::CoarseTimer);
    connect(checkTimer_, &QTimer::timeout, this, [this] { app_.OnTimer(kCheckTimerId); });
    connect(retryTimer_, &QTimer::timeout, this, [this] { app_.OnTimer(kRetryTimerId); });
}

QTimer* CMainWindowTimers::TimerFor(int id) const {
    if (id == kCheckTimerId)
        return checkTimer_;
    if (id == kRetryTimerId)
        return retryTimer_;
    return nullptr;
}

void CMainWindowTimers::StartTimer(int id, long long periodMs) {
    QTimer* timer = TimerFor(id);
    if (!timer)
        return;
    // QTimer takes an int; the core keeps periods sensible, this only keeps
    // an extreme value from wrapping into a busy timer.
    int period = static_cast<int>(std::clamp<long long>(periodMs, 1, INT_MAX));
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            timer, [timer, period] { timer->start(period); }, Qt::QueuedConnection);
        return;
    }
    timer->start(period);
}

void CMainWindowTimers::StopTimer(int id) {
    QTimer* timer = TimerFor(id);
    if (!timer)
        return;
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(timer, &QTimer::stop, Qt::QueuedConnection);
        return;
    }
    timer->stop();
}

void CMainWindowTimers::StopAll() {
    StopTimer(kCheckTimerId);
    StopTimer(kRetryTimerId);
}

bool CMainWindowTimers::IsRunning(int id) const {
    QTimer* timer = TimerFor(id);
    return timer && timer->isActive();
}

int CMainWindowTimers::IntervalMs(int id) const {
    QTimer* timer = TimerFor(id);
    return timer ? timer->interval() : 0;
}
