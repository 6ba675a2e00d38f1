#pragma once
// A value that one thread replaces as a whole while others read it: readers
// get a finished, immutable snapshot and never see a half-built value.
#include <memory>
#include <mutex>

template <class T> class CSnapshot {
  public:
    CSnapshot() : value_(std::make_shared<const T>()) {}
    std::shared_ptr<const T> Get() const {
        std::lock_guard guard(lock_);
        return value_;
    }
    void Set(T value) {
        auto fresh = std::make_shared<const T>(std::move(value));
        std::lock_guard guard(lock_);
        value_ = std::move(fresh);
    }

  private:
    mutable std::mutex lock_;
    std::shared_ptr<const T> value_;
};
