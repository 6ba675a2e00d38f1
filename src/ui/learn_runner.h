#pragma once
// Training from a folder for the Options page: LearnFromMailAt on a thread
// of its own, its progress and result handed to the window thread. One
// training at a time; destroying the runner stops it (what was learned
// stays) and waits for the thread.
#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

class CFilterApp;

class CLearnRunner {
  public:
    using Progress = std::function<void(long done, long total)>;
    using Done = std::function<void(long read, const std::string& error)>;

    CLearnRunner(CFilterApp& app, QObject* context) : app_(app), context_(context) {}
    ~CLearnRunner();
    CLearnRunner(const CLearnRunner&) = delete;
    CLearnRunner& operator=(const CLearnRunner&) = delete;

    bool Running() const { return running_.load(); }
    // false when a training is still running. Callbacks run on the window thread.
    bool Start(const std::string& path, bool spam, Progress progress, Done done);

  private:
    CFilterApp& app_;
    QPointer<QObject> context_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
