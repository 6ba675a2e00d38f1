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
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, createMode);
    if (fd < 0)
        return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    file_ = fdopen(fd, fmode);
    if (!file_) {
        ::close(fd);
        return false;
    }
    if (mode == Mode::AppendCreate)
        std::fseek(file_, 0, SEEK_END);
    position_ = mode == Mode::AppendCreate ? -1 : 0;
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

size_t CTextFile::Read(char* buffer, size_t count) {
    const size_t got = file_ ? std::fread(buffer, 1, count, file_) : 0;
    Advance(static_cast<int64_t>(got));
    return got;
}

bool CTextFile::Failed() const {
    return file_ && std::ferror(file_) != 0;
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
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
    contents.clear();
    CTextFile f;
    if (!f.Open(path, CTextFile::Mode::Read))
        return false;
    char buffer[65536];
    size_t n;
    while ((n = f.Read(buffer, sizeof buffer)) > 0)
        contents.append(buffer, n);
    return true;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool CanOpenForReading(const std::string& path) {
    CTextFile f;
    return f.Open(path, CTextFile::Mode::Read);
}

bool ReplaceFileAtomically(const std::string& path, const std::string& contents,
                           unsigned createMode) {
    mode_t mode = createMode;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        mode = st.st_mode & 07777;
    std::string tmp = path + ".tmpXXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0)
        return false;
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
    if (ok && std::rename(tmp.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(tmp.c_str());
    return false;
}
