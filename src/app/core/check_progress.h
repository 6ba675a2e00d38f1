#pragma once
// What the checks are doing right now: the check workers started and not yet
// finished, and the sessions started and not yet ended. Lets a caller wait
// until every check has run out ("the cycle and all its sessions have
// ended"), and owns the worker threads so that none is left behind.
//
// Threads: any. The counts change under one small lock; nobody holds it while
// waiting for a server or the user.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CMailSession;

class CCheckProgress {
  public:
    CCheckProgress() = default;
    ~CCheckProgress();
    CCheckProgress(const CCheckProgress&) = delete;
    CCheckProgress& operator=(const CCheckProgress&) = delete;

    // Runs `work` on a new worker thread, counted until it returns. false
    // when no thread could be started (nothing runs then).
    bool StartWorker(std::function<void()> work);

    // Counts `session` as running until it calls the OnEnded hook that this
    // sets. Call before the session's first step.
    void AddSession(const std::shared_ptr<CMailSession>& session);

    // Waits until no worker and no session is running, then joins their
    // threads. false when the time-out came first.
    bool WaitUntilIdle(std::chrono::milliseconds timeout);

    int RunningSessions() const;
    int RunningWorkers() const;

    // Set before the first check. SessionFinished runs on a session's thread
    // as it ends; BecameIdle when the last running worker or session ended.
    // Neither runs under this object's lock.
    std::function<void(const CMailSession&)> SessionFinished;
    std::function<void()> BecameIdle;

  private:
    void SessionEnded(const CMailSession* session);
    // Joins the threads of workers and sessions that have finished.
    void Reap();

    mutable std::mutex lock_;
    std::condition_variable changed_;
    int runningWorkers_ = 0;
    int runningSessions_ = 0;
    std::vector<std::thread> workers_;
    std::vector<std::thread::id> finishedWorkers_;
    std::vector<std::shared_ptr<CMailSession>> sessions_;      // started, not yet reaped
    std::vector<std::shared_ptr<CMailSession>> endedSessions_; // ended, threads to join
};
