#pragma once
// One running instance per data directory: an exclusive lock on a file in
// that directory, held for the life of the process. The kernel drops the lock
// when the process dies, so a killed instance leaves nothing stale behind.
#include <string>

class CInstanceLock {
  public:
    CInstanceLock() = default;
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    // 1 when this process now holds the lock, 0 when another process holds it,
    // -1 when the lock file cannot be opened.
    int Acquire(const std::string& lockFilePath);

  private:
    int fd_ = -1;
};
