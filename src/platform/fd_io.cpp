#include "platform/fd_io.h"

#include <cerrno>
#include <sys/types.h>
#include <unistd.h>

namespace {
// `transfer(done)` moves the bytes from `done` on; short moves continue.
template <typename Transfer> bool Fully(size_t size, Transfer transfer) {
    for (size_t done = 0; done < size;) {
        const ssize_t n = transfer(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

off_t At(int64_t offset, size_t done) {
    return static_cast<off_t>(offset + static_cast<int64_t>(done));
}
} // namespace

bool WriteFully(int fd, const char* data, size_t size, int64_t offset) {
    return Fully(size, [&](size_t done) {
        return offset < 0 ? ::write(fd, data + done, size - done)
                          : ::pwrite(fd, data + done, size - done, At(offset, done));
    });
}

bool ReadFully(int fd, char* data, size_t size, int64_t offset) {
    return Fully(size, [&](size_t done) {
        return offset < 0 ? ::read(fd, data + done, size - done)
                          : ::pread(fd, data + done, size - done, At(offset, done));
    });
}
