#pragma once
// IKeyring over the desktop's Secret Service (GNOME Keyring) or KWallet,
// through QtKeychain. Its jobs need an event loop, and callers are the
// window thread, start-up and the check workers alike: every job runs on one
// thread of its own, and a caller waits for its answer at most `wait` (the
// desktop may be asking the user to unlock the keyring); while a request
// given up on still runs, later ones fail at once. That thread is one for
// the whole process and lives until it ends: the keyring library keeps its
// job queue and bus connection in the thread that first used them. Never
// falls back to storing a password in plain text.
#include "platform/keyring.h"

#include <chrono>

class CDesktopKeyring : public IKeyring {
  public:
    explicit CDesktopKeyring(std::chrono::milliseconds wait = std::chrono::seconds(30));

    int ReadPassword(const std::string& key, std::string& password, std::string& why) override;
    int WritePassword(const std::string& key, const std::string& password,
                      std::string& why) override;
    int DeletePassword(const std::string& key, std::string& why) override;
    bool IsAvailable() override;

    struct Outcome {
        int Result = -1;
        std::string Password, Why;
    };
    enum class Kind { Read, Write, Delete };

  private:
    Outcome Run(Kind kind, const std::string& key, const std::string& password);

    std::chrono::milliseconds wait_;
};
