#include "filter/learned_score.h"

#include <cstdio>
#include <functional>
#include <system_error>

CLearnedScore::~CLearnedScore() {
    if (loader_.joinable())
        loader_.join();
}

void CLearnedScore::StartLoad(std::string path, std::function<void(const std::string&)> report) {
    {
        std::lock_guard guard(lock_);
        if (loading_ || loader_.joinable())
            return;
        path_ = std::move(path);
        loading_ = true;
    }
    auto load = [this, report = std::move(report)] {
        std::string error;
        if (classifier_.Load(path_, &error) < 0) {
            // Set aside, not overwritten by the next write: it may be mended.
            const std::string aside = path_ + ".damaged";
            if (std::rename(path_.c_str(), aside.c_str()) == 0)
                error += "; kept as " + aside;
            if (report)
                report(error);
        }
        {
            std::lock_guard done(lock_);
            loading_ = false;
        }
        loaded_.notify_all();
    };
    try {
        loader_ = std::thread(load);
    } catch (const std::system_error&) {
        load(); // no thread to be had: load now
    }
}

void CLearnedScore::WaitForLoad() {
    std::unique_lock guard(lock_);
    loaded_.wait(guard, [this] { return !loading_; });
}

CTokenClassifier& CLearnedScore::Classifier() {
    WaitForLoad();
    return classifier_;
}

bool CLearnedScore::SaveIfChanged(std::string* error) {
    WaitForLoad();
    std::lock_guard guard(saveLock_);
    std::string path;
    {
        std::lock_guard pathGuard(lock_);
        path = path_;
    }
    if (path.empty() || !classifier_.Changed())
        return true;
    return classifier_.Save(path, error) == 0;
}
