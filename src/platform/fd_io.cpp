#include "platform/fd_io.h"

#include <cerrno>
#include <sys/types.h>
#include <unistd.h>

bool WriteFully(int fd, const char* data, size_t size, int64_t offset) {
    for (size_t done = 0; done < size;) {
        const ssize_t n = offset < 0
                              ? ::write(fd, data + done, size - done)
                              : ::pwrite(fd, data + done, size - done,
                                         static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ReadFully(int fd, char* data, size_t size, int64_t offset) {
    for (size_t done = 0; done < size;) {
        const ssize_t n = offset < 0
                              ? ::read(fd, data + done, size - done)
                              : ::pread(fd, data + done, size - done,
                                        static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}
