#include "mail/fetch_spool.h"

#include "platform/fd_io.h"

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
    if (!WriteFully(fd_, reply.data(), reply.size(), end_))
        return false;
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
    return ReadFully(fd_, reply.data(), piece.Size, piece.Offset);
}

void CFetchSpool::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    end_ = 0;
    pieces_.clear();
}
