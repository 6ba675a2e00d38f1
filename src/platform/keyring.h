#pragma once
// The desktop's password store, as the core sees it. Every call may block
// (the desktop can ask the user to unlock it) but returns within a bounded
// time; none throws. The reason of a failure is left in `why` for the log.
#include <string>

class IKeyring {
  public:
    virtual ~IKeyring() = default;
    // 1 found (`password` set), 0 no such entry, -1 unavailable, locked,
    // refused or timed out.
    virtual int ReadPassword(const std::string& key, std::string& password, std::string& why) = 0;
    // 1 stored, -1 not stored.
    virtual int WritePassword(const std::string& key, const std::string& password,
                              std::string& why) = 0;
    // 1 deleted or there was none, -1 not deleted.
    virtual int DeletePassword(const std::string& key, std::string& why) = 0;
    // true when a keyring answers on this desktop; asks nothing of the user.
    virtual bool IsAvailable() = 0;
};
