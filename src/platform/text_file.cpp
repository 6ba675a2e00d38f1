#include "platform/text_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CTextFile::Open(const std::string& path, Mode mode, unsigned createMode) {
    Close();
    int flags = 0;
    const char* fmode = "rb";
    switch (mode) {
    case Mode::Read:
        flags = O_RDONLY;
        fmode = "rb";
        break;
    case Mode::ReadWrite:
        flags = O_RDWR;
        fmode = "r+b";
        break;
    case Mode::ReadWriteCreate:
        flags = O_RDWR | O_CREAT;
        fmode = "r+b";
        break;
    case Mode::AppendCreate:
        flags = O_WRONLY | O_CREAT | O_APPEND;
        fmode = "ab";
        break;
    }
    std::string target = path;
    if ((flags & O_CREAT) && !ResolveWriteTarget(path, target))
        return false;
    int fd = ::open(target.c_str(), flags | O_CLOEXEC, createMode);
    if (fd < 0)
        return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL; // never a stale ENOENT
        return false;
    }
    file_ = fdopen(fd, fmode);
    if (!file_) {
        ::close(fd);
        return false;
    }
    if (mode == Mode::AppendCreate) {
        std::fseek(file_, 0, SEEK_END);
        return true;
    }
    position_ = 0;
    char head[kByteOrderMark.size()];
    if (std::fread(head, 1, sizeof head, file_) == sizeof head &&
        std::string_view(head, sizeof head) == kByteOrderMark)
        contentStart_ = position_ = sizeof head;
    else
        std::rewind(file_);
    return true;
}

bool CTextFile::ReadLine(std::string& line) {
    line.clear();
    if (!file_)
        return false;
    // getline keeps NUL bytes inside a line, which fgets would cut at.
    ssize_t n = ::getline(&lineBuffer_, &lineCapacity_, file_);
    if (n <= 0)
        return false;
    line.assign(lineBuffer_, static_cast<size_t>(n));
    if (line.back() == '\n')
        line.pop_back();
    Advance(n);
    return true;
}

bool (*gTextFileReadFails)(int64_t position) = nullptr;

size_t CTextFile::Read(char* buffer, size_t count) {
    if (file_ && gTextFileReadFails && gTextFileReadFails(GetPosition())) {
        injectedFailure_ = true;
        return 0;
    }
    const size_t got = file_ ? std::fread(buffer, 1, count, file_) : 0;
    Advance(static_cast<int64_t>(got));
    return got;
}

bool CTextFile::Failed() const {
    return file_ && (injectedFailure_ || std::ferror(file_) != 0);
}

bool CTextFile::Write(const std::string& bytes) {
    if (!file_)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    if (written)
        Advance(static_cast<int64_t>(bytes.size()));
    else
        position_ = -1;
    return written;
}

bool CTextFile::Flush() {
    return file_ && std::fflush(file_) == 0;
}

bool CTextFile::Seek(int64_t offset) {
    const bool moved =
        file_ && offset >= 0 && fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
    position_ = moved ? offset : -1;
    return moved;
}

bool CTextFile::SeekToEnd() {
    position_ = -1;
    return file_ && fseeko(file_, 0, SEEK_END) == 0;
}

void CTextFile::Advance(int64_t bytes) {
    if (position_ >= 0)
        position_ += bytes;
}

int64_t CTextFile::GetPosition() const {
    if (!file_)
        return -1;
    // Counted while reading: asking the stream costs a system call per line.
    return position_ >= 0 ? position_ : static_cast<int64_t>(ftello(file_));
}

void CTextFile::Close() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    std::free(lineBuffer_);
    lineBuffer_ = nullptr;
    lineCapacity_ = 0;
    position_ = -1;
    contentStart_ = 0;
    injectedFailure_ = false;
}

ReadResult ReadWholeFile(const std::string& path, std::string& contents) {
    contents.clear();
    CTextFile f;
    if (!f.Open(path, CTextFile::Mode::Read))
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    char buffer[65536];
    size_t n;
    while ((n = f.Read(buffer, sizeof buffer)) > 0)
        contents.append(buffer, n);
    if (!f.Failed())
        return ReadResult::Ok;
    contents.clear(); // part of a file must never pass for all of it
    return ReadResult::Failed;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool CanOpenForReading(const std::string& path) {
    CTextFile f;
    return f.Open(path, CTextFile::Mode::Read);
}

bool ResolveWriteTarget(const std::string& path, std::string& target) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        target = path;
        return true;
    }
    // realpath follows the whole chain and fails on a loop or a missing end.
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return false;
    target = resolved;
    std::free(resolved);
    return true;
}

namespace {
bool WriteFailed(const std::string& path, const char* what) {
    std::fprintf(stderr, "drossgate: %s was left as it was: %s (%s)\n", path.c_str(), what,
                 std::strerror(errno));
    return false;
}
} // namespace

bool ReplaceFileAtomically(const std::string& path, const std::string& contents,
                           unsigned createMode) {
    // A link stays a link: its target is replaced, in the target's directory.
    std::string target;
    if (!ResolveWriteTarget(path, target))
        return WriteFailed(path, "a link that cannot be followed");
    mode_t mode = createMode;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0)
        mode = st.st_mode & 07777;
    std::string tmp = target + ".tmpXXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0)
        return WriteFailed(path, "no temporary file");
    bool ok = fchmod(fd, mode) == 0;
    size_t done = 0;
    while (ok && done < contents.size()) {
        ssize_t w = ::write(fd, contents.data() + done, contents.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            ok = false;
        else
            done += static_cast<size_t>(w);
    }
    ok = ok && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && std::rename(tmp.c_str(), target.c_str()) == 0)
        return true;
    const int error = errno;
    ::unlink(tmp.c_str());
    errno = error;
    return WriteFailed(path, "the new content could not be written");
}
