#pragma once
// One of the filter's four sender lists. The window thread appends while a
// session thread judges, so the list has a small lock of its own (never
// AppLock, which the window thread must not take). Lookups are hashed: the
// same cost for ten entries or a hundred thousand, the same answers as exact,
// case-sensitive equality (or, with ContainsFolded, equality but for the
// case of the domain).
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

// An entry or sender with everything after its last "@" (all of it when it
// has none: a domain) in ASCII lower case.
inline std::string FoldSenderDomain(std::string text) {
    const size_t at = text.rfind('@');
    for (size_t i = at == std::string::npos ? 0 : at + 1; i < text.size(); ++i)
        if (text[i] >= 'A' && text[i] <= 'Z')
            text[i] = static_cast<char>(text[i] - 'A' + 'a');
    return text;
}

class CSenderSet {
  public:
    void Append(const std::string& entry) {
        std::lock_guard guard(lock_);
        ++entries_[entry];
        folded_.insert(FoldSenderDomain(entry));
        ++size_;
    }
    bool Contains(const std::string& entry) const {
        std::lock_guard guard(lock_);
        return entries_.find(entry) != entries_.end();
    }
    // Whether an entry equals `folded` once its domain is folded
    // (FoldSenderDomain); `folded` must be folded already.
    bool ContainsFolded(const std::string& folded) const {
        std::lock_guard guard(lock_);
        return folded_.find(folded) != folded_.end();
    }
    // Takes `entry` out, however often it was appended.
    void Remove(const std::string& entry) {
        std::lock_guard guard(lock_);
        auto it = entries_.find(entry);
        if (it == entries_.end())
            return;
        size_ -= it->second;
        entries_.erase(it);
        // Another entry may fold to the same text.
        folded_.clear();
        for (const auto& [kept, count] : entries_)
            folded_.insert(FoldSenderDomain(kept));
    }
    // Number of appends, duplicates included.
    size_t Size() const {
        std::lock_guard guard(lock_);
        return size_;
    }
    void Clear() {
        std::lock_guard guard(lock_);
        entries_.clear();
        folded_.clear();
        size_ = 0;
    }

  private:
    mutable std::mutex lock_;
    std::unordered_map<std::string, unsigned> entries_;
    std::unordered_set<std::string> folded_;
    size_t size_ = 0;
};
