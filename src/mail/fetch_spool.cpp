#include "mail/fetch_spool.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CFetchSpool::~CFetchSpool() {
    Close();
}

bool CFetchSpool::Open(const std::string& folder) {
    Close();
    ::mkdir(folder.c_str(), 0700);
    fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        // A file system without unnamed files: a named one, unlinked at once.
        std::string path = folder + "/spool.XXXXXX";
        fd_ = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd_ >= 0)
            ::unlink(path.c_str());
    }
    return fd_ >= 0;
}

bool CFetchSpool::Keep(size_t position, const std::string& reply) {
    if (fd_ < 0)
        return false;
    for (size_t done = 0; done < reply.size();) {
        const ssize_t n = ::pwrite(fd_, reply.data() + done, reply.size() - done,
                                   static_cast<off_t>(end_ + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    if (pieces_.size() <= position)
        pieces_.resize(position + 1);
    pieces_[position] = {end_, reply.size()};
    end_ += static_cast<int64_t>(reply.size());
    return true;
}

bool CFetchSpool::Take(size_t position, std::string& reply) const {
    if (fd_ < 0 || position >= pieces_.size() || pieces_[position].Offset < 0)
        return false;
    const Piece& piece = pieces_[position];
    reply.assign(piece.Size, '\0');
    for (size_t done = 0; done < piece.Size;) {
        const ssize_t n = ::pread(fd_, reply.data() + done, piece.Size - done,
                                  static_cast<off_t>(piece.Offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void CFetchSpool::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    end_ = 0;
    pieces_.clear();
}
