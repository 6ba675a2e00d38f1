#pragma once
// The learned tokens' counts: an open-addressed table of 64-bit keys, one
// array, linear probing. A million entries load and look up several times
// faster than in node-based maps, which pay a cache miss and an allocation
// for every entry. Slots are found by a seeded mix of the key, so a crafted
// file of colliding keys cannot make loading quadratic.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

template <typename Value> class CTokenTable {
  public:
    CTokenTable() : seed_(reinterpret_cast<uintptr_t>(this) * 0x9e3779b97f4a7c15ull ^ 0x5bd1e995) {}

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() {
        slots_.clear();
        slots_.shrink_to_fit();
        size_ = 0;
        hasZero_ = false;
    }
    void swap(CTokenTable& other) {
        slots_.swap(other.slots_);
        std::swap(size_, other.size_);
        std::swap(seed_, other.seed_);
        std::swap(hasZero_, other.hasZero_);
        std::swap(zero_, other.zero_);
    }
    // Room for `count` entries without growing.
    void reserve(size_t count) {
        size_t capacity = 16;
        while (capacity * kLoadTenths < count * 10)
            capacity *= 2;
        if (capacity > slots_.size())
            Rehash(capacity);
    }

    const Value* Find(uint64_t key) const {
        if (key == 0)
            return hasZero_ ? &zero_ : nullptr;
        if (slots_.empty())
            return nullptr;
        for (size_t i = Home(key);; i = (i + 1) & Mask()) {
            if (slots_[i].Key == key)
                return &slots_[i].Counts;
            if (slots_[i].Key == 0)
                return nullptr;
        }
    }
    Value* Find(uint64_t key) { return const_cast<Value*>(std::as_const(*this).Find(key)); }

    // Asks for the cache line where a lookup of `key` starts, so that a run
    // of lookups waits for memory once rather than once each.
    void Prefetch(uint64_t key) const {
        if (!slots_.empty())
            __builtin_prefetch(&slots_[Home(key)]);
    }

    // The entry of `key`, made with `value` when new; second: made now.
    std::pair<Value*, bool> Insert(uint64_t key, const Value& value = {}) {
        if (key == 0) {
            const bool made = !hasZero_;
            if (made) {
                zero_ = value;
                hasZero_ = true;
                ++size_;
            }
            return {&zero_, made};
        }
        if ((size_ + 1) * 10 > slots_.size() * kLoadTenths)
            Rehash(slots_.empty() ? 16 : slots_.size() * 2);
        size_t i = Home(key);
        for (; slots_[i].Key != 0; i = (i + 1) & Mask())
            if (slots_[i].Key == key)
                return {&slots_[i].Counts, false};
        slots_[i] = {key, value};
        ++size_;
        return {&slots_[i].Counts, true};
    }
    Value& operator[](uint64_t key) { return *Insert(key).first; }

    void Erase(uint64_t key) {
        if (key == 0) {
            size_ -= hasZero_;
            hasZero_ = false;
            return;
        }
        if (slots_.empty())
            return;
        size_t hole = Home(key);
        for (; slots_[hole].Key != key; hole = (hole + 1) & Mask())
            if (slots_[hole].Key == 0)
                return;
        // Later entries of the run move back into the hole unless that would
        // put them before their home slot: lookups never meet a gap early.
        for (size_t j = (hole + 1) & Mask(); slots_[j].Key != 0; j = (j + 1) & Mask()) {
            const size_t home = Home(slots_[j].Key);
            if (((j - home) & Mask()) >= ((j - hole) & Mask())) {
                slots_[hole] = slots_[j];
                hole = j;
            }
        }
        slots_[hole] = {};
        --size_;
    }

    template <typename Visit> void ForEach(Visit&& visit) const {
        if (hasZero_)
            visit(uint64_t{0}, zero_);
        for (const Slot& slot : slots_)
            if (slot.Key != 0)
                visit(slot.Key, slot.Counts);
    }

  private:
    struct Slot {
        uint64_t Key = 0; // 0: free (the key 0 itself lives in zero_)
        Value Counts{};
    };
    static constexpr size_t kLoadTenths = 7; // at most 70 % of the slots in use

    size_t Mask() const { return slots_.size() - 1; }
    size_t Home(uint64_t key) const {
        uint64_t h = key ^ seed_;
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdull;
        h ^= h >> 33;
        h *= 0xc4ceb9fe1a85ec53ull;
        h ^= h >> 33;
        return static_cast<size_t>(h) & Mask();
    }
    void Rehash(size_t capacity) {
        std::vector<Slot> old(capacity);
        old.swap(slots_);
        for (const Slot& slot : old)
            if (slot.Key != 0) {
                size_t i = Home(slot.Key);
                while (slots_[i].Key != 0)
                    i = (i + 1) & Mask();
                slots_[i] = slot;
            }
    }

    std::vector<Slot> slots_; // a power of two in size, or empty
    size_t size_ = 0;         // entries, the key 0 included
    uint64_t seed_;
    bool hasZero_ = false;
    Value zero_{};
};
