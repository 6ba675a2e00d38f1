#pragma once
// The main window's timers as the check cycle sees them; the window
// implements them with QTimer, tests with a recorder.
inline constexpr int kCheckTimerId = 8003;
inline constexpr int kRetryTimerId = 8005;
inline constexpr int kRetryTimerPeriodMs = 300000;

class ICheckTimers {
  public:
    virtual ~ICheckTimers() = default;
    virtual void StartTimer(int id, long long periodMs) = 0; // restarts a running timer
    virtual void StopTimer(int id) = 0;
};
