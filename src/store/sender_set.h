#pragma once
// One of the filter's four sender lists. The window thread appends while a
// session thread judges, so the list has a small lock of its own (never
// AppLock, which the window thread must not take). Lookups are hashed: the
// same cost for ten entries or a hundred thousand, the same answers as exact,
// case-sensitive equality.
#include <mutex>
#include <string>
#include <unordered_map>

class CSenderSet {
  public:
    void Append(const std::string& entry) {
        std::lock_guard guard(lock_);
        ++entries_[entry];
        ++size_;
    }
    bool Contains(const std::string& entry) const {
        std::lock_guard guard(lock_);
        return entries_.find(entry) != entries_.end();
    }
    // Number of appends, duplicates included.
    size_t Size() const {
        std::lock_guard guard(lock_);
        return size_;
    }
    void Clear() {
        std::lock_guard guard(lock_);
        entries_.clear();
        size_ = 0;
    }

  private:
    mutable std::mutex lock_;
    std::unordered_map<std::string, unsigned> entries_;
    size_t size_ = 0;
};
