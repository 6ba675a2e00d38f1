#pragma once
// An in-memory keyring; `Answer` -1 makes every call fail as a locked or
// absent keyring does, `WritesLeft` lets only so many writes succeed.
#include "platform/keyring.h"

#include <map>
#include <mutex>

class CFakeKeyring : public IKeyring {
  public:
    int ReadPassword(const std::string& key, std::string& password, std::string& why) override {
        std::lock_guard guard(lock_);
        if (Answer < 0)
            return why = "locked", -1;
        const auto found = Entries.find(key);
        if (found == Entries.end())
            return 0;
        password = found->second;
        return 1;
    }
    int WritePassword(const std::string& key, const std::string& password,
                      std::string& why) override {
        std::lock_guard guard(lock_);
        if (Answer < 0 || WritesLeft == 0)
            return why = "refused", -1;
        --WritesLeft;
        Entries[key] = password;
        return 1;
    }
    int DeletePassword(const std::string& key, std::string& why) override {
        std::lock_guard guard(lock_);
        if (Answer < 0)
            return why = "locked", -1;
        Entries.erase(key);
        return 1;
    }
    bool IsAvailable() override { return Answer >= 0; }

    int Answer = 1;
    int WritesLeft = -1; // negative: no limit
    std::map<std::string, std::string> Entries;

  private:
    std::mutex lock_;
};
