#pragma once
// An in-memory keyring; Answer -1 fails every call as a locked keyring does,
// WritesLeft lets only so many writes succeed (negative: all).
#include "platform/keyring.h"

#include <map>
#include <mutex>

struct CFakeKeyring : IKeyring {
    int ReadPassword(const std::string& key, std::string& password, std::string&) override {
        std::lock_guard guard(lock);
        const auto found = Entries.find(key);
        return Answer < 0 ? -1 : found == Entries.end() ? 0 : (password = found->second, 1);
    }
    int WritePassword(const std::string& key, const std::string& password, std::string&) override {
        std::lock_guard guard(lock);
        if (Answer < 0 || WritesLeft-- == 0)
            return -1;
        Entries[key] = password;
        return 1;
    }
    int DeletePassword(const std::string& key, std::string&) override {
        std::lock_guard guard(lock);
        return Answer < 0 ? -1 : (Entries.erase(key), 1);
    }
    bool IsAvailable() override { return Answer >= 0; }
    int Answer = 1, WritesLeft = -1;
    std::map<std::string, std::string> Entries;
    std::mutex lock;
};
