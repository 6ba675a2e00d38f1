#pragma once
// IKeyring over the desktop's Secret Service (GNOME Keyring) or KWallet,
// through QtKeychain. Its jobs need an event loop, and callers are the
// window thread, start-up and the check workers alike: every job runs on one
// thread of the keyring's own, and a caller waits for its answer at most
// `wait` (the desktop may be asking the user to unlock the keyring). Never
// falls back to storing a password in plain text.
#include "platform/keyring.h"

#include <chrono>
#include <memory>

class QObject;
class QThread;

class CDesktopKeyring : public IKeyring {
  public:
    explicit CDesktopKeyring(std::chrono::milliseconds wait = std::chrono::seconds(30));
    ~CDesktopKeyring() override;
    CDesktopKeyring(const CDesktopKeyring&) = delete;
    CDesktopKeyring& operator=(const CDesktopKeyring&) = delete;

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
    std::unique_ptr<QThread> thread_;
    QObject* context_ = nullptr; // lives in thread_; the jobs' parent
};
