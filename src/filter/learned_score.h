#pragma once
// The learned score of the running program: the classifier, loaded from its
// file in the background at start-up (like the history) and written back
// after it has learned. A damaged or missing file means it starts empty; a
// damaged one is reported once and renamed to "<name>.damaged", so the next
// write does not destroy it. No file is touched before a path is given.
#include "filter/token_classifier.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class CLearnedScore {
  public:
    CLearnedScore() = default;
    ~CLearnedScore(); // waits for a running load
    CLearnedScore(const CLearnedScore&) = delete;
    CLearnedScore& operator=(const CLearnedScore&) = delete;

    // Loads `path` on a thread of its own; `report` gets the one line to
    // show when the file is damaged (called on that thread).
    void StartLoad(std::string path, std::function<void(const std::string&)> report);
    // The classifier, once the load has finished.
    CTokenClassifier& Classifier();
    // Writes the file when the classifier learned since its last write.
    // false when that write failed (the old file stays).
    bool SaveIfChanged(std::string* error = nullptr);

  private:
    void WaitForLoad();

    std::mutex lock_;
    std::condition_variable loaded_;
    bool loading_ = false;
    std::string path_;
    std::thread loader_;
    std::mutex saveLock_; // one write of the file at a time
    CTokenClassifier classifier_;
};
