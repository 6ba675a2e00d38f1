#include "platform/instance_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

CInstanceLock::~CInstanceLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

int CInstanceLock::Acquire(const std::string& lockFilePath) {
    int fd = ::open(lockFilePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? 0 : -1;
    }
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
    return 1;
}
