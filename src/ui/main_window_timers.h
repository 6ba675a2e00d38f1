#pragma once
// The main window's check timers (8003 CheckTimer, 8005 RetryTimer) for the
// core's check cycle: every tick goes to CFilterApp::OnTimer on the window
// thread, which decides what the tick does.
#include "app/core/check_timers.h"

#include <QObject>
#include <QTimer>

class CFilterApp;

class CMainWindowTimers : public QObject, public ICheckTimers {
    Q_OBJECT
  public:
    explicit CMainWindowTimers(CFilterApp& app, QObject* parent = nullptr);
    // May be called from any thread; the timers themselves live on the
    // window thread.
    void StartTimer(int id, long long periodMs) override;
    void StopTimer(int id) override;
    void StopAll();

    // For tests and diagnostics: whether a timer runs, and its period.
    bool IsRunning(int id) const;
    int IntervalMs(int id) const;

  private:
    QTimer* TimerFor(int id) const;

    CFilterApp& app_;
    QTimer* checkTimer_;
    QTimer* retryTimer_;
};
