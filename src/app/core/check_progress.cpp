#include "app/core/check_progress.h"

#include "mail/session.h"

#include <algorithm>
#include <system_error>

CCheckProgress::~CCheckProgress() {
    // Sessions blocked on a server give up at once; the program's shutdown
    // has answered any open prompt before this runs.
    std::vector<std::shared_ptr<CMailSession>> running;
    {
        std::lock_guard guard(lock_);
        running = sessions_;
    }
    for (auto& session : running)
        session->AbortSession();
    std::unique_lock guard(lock_);
    changed_.wait(guard, [&] { return runningWorkers_ == 0 && runningSessions_ == 0; });
    guard.unlock();
    Reap();
}

bool CCheckProgress::StartWorker(std::function<void()> work) {
    Reap();
    std::lock_guard guard(lock_);
    ++runningWorkers_;
    try {
        workers_.emplace_back([this, work = std::move(work)] {
            work();
            bool idle;
            {
                std::lock_guard finished(lock_);
                --runningWorkers_;
                finishedWorkers_.push_back(std::this_thread::get_id());
                idle = runningWorkers_ == 0 && runningSessions_ == 0;
                changed_.notify_all();
            }
            if (idle && BecameIdle)
                BecameIdle();
        });
    } catch (const std::system_error&) {
        --runningWorkers_;
        changed_.notify_all();
        return false;
    }
    return true;
}

void CCheckProgress::AddSession(const std::shared_ptr<CMailSession>& session) {
    CMailSession* raw = session.get();
    session->OnEnded = [this, raw] { SessionEnded(raw); };
    std::lock_guard guard(lock_);
    ++runningSessions_;
    sessions_.push_back(session);
}

void CCheckProgress::SessionEnded(const CMailSession* session) {
    if (SessionFinished)
        SessionFinished(*session);
    bool idle;
    {
        std::lock_guard guard(lock_);
        --runningSessions_;
        // Marked for Reap: its last thread is about to return.
        for (auto& entry : sessions_)
            if (entry.get() == session)
                endedSessions_.push_back(entry);
        idle = runningWorkers_ == 0 && runningSessions_ == 0;
        changed_.notify_all();
    }
    if (idle && BecameIdle)
        BecameIdle();
}

void CCheckProgress::Reap() {
    std::vector<std::thread> threads;
    std::vector<std::shared_ptr<CMailSession>> ended;
    {
        std::lock_guard guard(lock_);
        // A worker is listed before it can finish: StartWorker holds the lock.
        for (auto id : finishedWorkers_) {
            auto it = std::find_if(workers_.begin(), workers_.end(),
                                   [&](const std::thread& t) { return t.get_id() == id; });
            if (it != workers_.end()) {
                threads.push_back(std::move(*it));
                workers_.erase(it);
            }
        }
        finishedWorkers_.clear();
        ended.swap(endedSessions_);
        for (auto& session : ended)
            sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), session),
                            sessions_.end());
    }
    for (auto& thread : threads)
        if (thread.get_id() != std::this_thread::get_id())
            thread.join();
        else
            thread.detach();
    for (auto& session : ended)
        session->WaitUntilEnded(std::chrono::hours(1));
}

bool CCheckProgress::WaitUntilIdle(std::chrono::milliseconds timeout) {
    bool idle;
    {
        std::unique_lock guard(lock_);
        idle = changed_.wait_for(guard, timeout,
                                 [&] { return runningWorkers_ == 0 && runningSessions_ == 0; });
    }
    Reap();
    return idle;
}

int CCheckProgress::RunningSessions() const {
    std::lock_guard guard(lock_);
    return runningSessions_;
}

int CCheckProgress::RunningWorkers() const {
    std::lock_guard guard(lock_);
    return runningWorkers_;
}
