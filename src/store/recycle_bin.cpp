#include "store/recycle_bin.h"

#include "platform/digest.h"
#include "platform/fd_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace {
constexpr const char* kFirstField = "X-Drossgate-Bin: 1 ";
constexpr int64_t kStaleTmpSeconds = 86400;
// A head longer than this is no head of ours: its fields are short.
constexpr size_t kMaxHeadBytes = 64 * 1024;
constexpr size_t kFirstRead = 4096; // holds a usual head whole
std::atomic<unsigned> gCopyCounter{0};

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A value on one line: a line break in a subject must not end the head.
std::string OneLine(std::string value) {
    std::replace(value.begin(), value.end(), '\r', ' ');
    std::replace(value.begin(), value.end(), '\n', ' ');
    return value;
}

std::vector<std::pair<const char*, std::string BinnedMessage::*>> TextFields() {
    return {{"Account", &BinnedMessage::Account},
            {"Account-Name", &BinnedMessage::AccountName},
            {"Server-Id", &BinnedMessage::ServerId},
            {"Flags", &BinnedMessage::Flags},
            {"Internal-Date", &BinnedMessage::InternalDate},
            {"Date", &BinnedMessage::Date},
            {"From", &BinnedMessage::From},
            {"Subject", &BinnedMessage::Subject},
            {"Reason", &BinnedMessage::Reason}};
}

std::string Head(const BinnedMessage& m) {
    std::string fields = "X-Drossgate-Type: " + std::string(1, m.Type) + "\r\n";
    for (const auto& [name, member] : TextFields())
        fields += "X-Drossgate-" + std::string(name) + ": " + OneLine(m.*member) + "\r\n";
    fields += "X-Drossgate-Binned: " + std::to_string(m.BinnedAt) + "\r\n";
    // The first line's length does not depend on the numbers in it.
    const std::string sizes = std::to_string(m.Text.size()) + " " + TextDigest(m.Text) + "\r\n";
    std::string head;
    for (size_t width = 1;; ++width) {
        const std::string total =
            std::to_string(std::strlen(kFirstField) + width + 1 + sizes.size() + fields.size());
        if (total.size() == width)
            return kFirstField + total + " " + sizes + fields;
    }
}

struct HeadFacts {
    size_t HeadBytes = 0, TextBytes = 0;
    std::string Digest;
};

// Reads the head at the start of `text` into `m`. false when there is no
// head of ours at all.
bool ParseHead(const std::string& text, BinnedMessage& m, HeadFacts& facts) {
    if (text.compare(0, std::strlen(kFirstField), kFirstField) != 0)
        return false;
    const size_t end = text.find("\r\n");
    if (end == std::string::npos)
        return false;
    char digest[17] = {};
    unsigned long long head = 0, size = 0;
    if (std::sscanf(text.c_str() + std::strlen(kFirstField), "%llu %llu %16[0-9a-f]", &head, &size,
                    digest) != 3 ||
        head > kMaxHeadBytes || head <= end || head > text.size() ||
        text.compare(head - 2, 2, "\r\n") != 0)
        return false;
    facts = {head, size, digest};
    for (size_t at = end + 2; at < head;) {
        const size_t lineEnd = text.find("\r\n", at);
        const std::string line = text.substr(at, lineEnd - at);
        at = lineEnd + 2;
        const size_t colon = line.find(": ");
        if (colon == std::string::npos || line.compare(0, 12, "X-Drossgate-") != 0)
            continue;
        const std::string name = line.substr(12, colon - 12), value = line.substr(colon + 2);
        if (name == "Type" && value.size() == 1)
            m.Type = value[0];
        else if (name == "Binned")
            m.BinnedAt = std::atoll(value.c_str());
        for (const auto& [field, member] : TextFields())
            if (name == field)
                m.*member = value;
    }
    return true;
}

bool SyncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

bool MakeFolder(const std::string& path, std::string& error) {
    if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return true;
        error = path + " is not a folder";
        return false;
    }
    error = Errno("cannot create " + path);
    return false;
}

bool WriteAll(int fd, const std::string& bytes) {
    return WriteFully(fd, bytes.data(), bytes.size());
}

bool ReadFile(const std::string& path, std::string& text, size_t limit = SIZE_MAX) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    text.clear();
    char buffer[65536];
    ssize_t n = 0;
    while (text.size() < limit &&
           (n = ::read(fd, buffer, std::min(sizeof buffer, limit - text.size()))) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return n >= 0;
}

// A plain name of ours: no way out of cur/.
bool IsCopyName(const std::string& name) {
    return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos &&
           name.ends_with(".drossgate:2,");
}

struct FileFacts {
    std::string Name;
    int64_t Time = 0, Bytes = 0;
};

// The files of `dir` with the time their name starts with (else their
// modification time), oldest first.
std::vector<FileFacts> Files(const std::string& dir, bool copiesOnly) {
    std::vector<FileFacts> files;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return files;
    while (const dirent* entry = ::readdir(d)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (name == "." || name == ".." || (copiesOnly && !IsCopyName(name)) ||
            ::lstat((dir + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const int64_t named = std::atoll(name.c_str());
        files.push_back({name, named > 0 ? named : static_cast<int64_t>(st.st_mtime),
                         static_cast<int64_t>(st.st_size)});
    }
    ::closedir(d);
    std::sort(files.begin(), files.end(), [](const FileFacts& a, const FileFacts& b) {
        return std::tie(a.Time, a.Name) < std::tie(b.Time, b.Name);
    });
    return files;
}
} // namespace

std::vector<bool> WriteBinnedMessages(const std::string& binDir,
                                      std::vector<BinnedMessage>& messages, std::string& error) {
    std::vector<bool> written(messages.size(), false);
    const std::string tmp = binDir + "/tmp", cur = binDir + "/cur";
    if (!MakeFolder(binDir, error) || !MakeFolder(tmp, error) || !MakeFolder(cur, error))
        return written;
    // Each copy written to tmp/ first, unsynced.
    for (size_t i = 0; i < messages.size(); ++i) {
        BinnedMessage& message = messages[i];
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now).count();
        const auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(now).count() % 1000000;
        message.BinnedAt = seconds;
        message.FileName = std::to_string(seconds) + "." + std::to_string(micros) + "_" +
                           std::to_string(++gCopyCounter) + ".P" + std::to_string(::getpid()) +
                           ".drossgate:2,";
        message.Damaged = false;
        const std::string staged = tmp + "/" + message.FileName;
        const int fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = Errno("cannot create " + staged);
            continue;
        }
        written[i] = WriteAll(fd, Head(message)) && WriteAll(fd, message.Text);
        if (!written[i])
            error = Errno("cannot write " + staged);
        else // the writes of the whole batch under way at once: the syncs below wait less
            ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
        written[i] = ::close(fd) == 0 && written[i];
        if (!written[i])
            ::unlink(staged.c_str());
    }
    // Each file synced (a flush of the whole file system would also write
    // out the session's spool), the folder once for the whole batch.
    for (size_t i = 0; i < messages.size(); ++i) {
        if (!written[i])
            continue;
        const std::string staged = tmp + "/" + messages[i].FileName;
        const int fd = ::open(staged.c_str(), O_RDONLY | O_CLOEXEC);
        written[i] = fd >= 0 && ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        if (!written[i])
            error = Errno("cannot sync " + staged);
        if (written[i] &&
            ::rename(staged.c_str(), (cur + "/" + messages[i].FileName).c_str()) != 0) {
            error = Errno("cannot move the copy into " + cur);
            written[i] = false;
        }
        if (!written[i])
            ::unlink(staged.c_str());
    }
    // Only a synced folder holds the new names after a crash.
    if (std::count(written.begin(), written.end(), true) > 0 && !SyncDirectory(cur)) {
        error = Errno("cannot sync " + cur);
        for (size_t i = 0; i < messages.size(); ++i)
            if (written[i])
                ::unlink((cur + "/" + messages[i].FileName).c_str());
        written.assign(messages.size(), false);
    }
    return written;
}

bool WriteBinnedMessage(const std::string& binDir, BinnedMessage& message, std::string& error) {
    std::vector<BinnedMessage> one(1);
    one[0] = std::move(message);
    const bool written = WriteBinnedMessages(binDir, one, error)[0];
    message = std::move(one[0]);
    return written;
}

std::vector<BinnedMessage> ListRecycleBin(const std::string& binDir) {
    std::vector<BinnedMessage> list;
    for (const FileFacts& file : Files(binDir + "/cur", true)) {
        BinnedMessage m;
        std::string head;
        HeadFacts facts;
        // The viewer lists the bin at every fill: read the head only.
        const std::string path = binDir + "/cur/" + file.Name;
        bool read = ReadFile(path, head, kFirstRead);
        unsigned long long headBytes = 0;
        if (read && std::sscanf(head.c_str(), "X-Drossgate-Bin: 1 %llu", &headBytes) == 1 &&
            headBytes > head.size() && headBytes <= kMaxHeadBytes)
            read = ReadFile(path, head, headBytes);
        if (!read || !ParseHead(head, m, facts)) {
            m = BinnedMessage{};
            m.Damaged = true;
            m.BinnedAt = file.Time;
        } else {
            m.Damaged = file.Bytes != static_cast<int64_t>(facts.HeadBytes + facts.TextBytes);
        }
        m.FileName = file.Name;
        list.push_back(std::move(m));
    }
    return list;
}

bool ReadBinnedMessage(const std::string& binDir, const std::string& fileName,
                       BinnedMessage& message) {
    std::string text;
    message = BinnedMessage{};
    message.FileName = fileName;
    if (!IsCopyName(fileName) || !ReadFile(binDir + "/cur/" + fileName, text))
        return false;
    HeadFacts facts;
    if (!ParseHead(text, message, facts)) {
        message.Damaged = true;
        return true;
    }
    message.FileName = fileName;
    message.Text = text.substr(facts.HeadBytes);
    message.Damaged =
        message.Text.size() != facts.TextBytes || TextDigest(message.Text) != facts.Digest;
    return true;
}

bool RemoveBinnedMessage(const std::string& binDir, const std::string& fileName) {
    return IsCopyName(fileName) && ::unlink((binDir + "/cur/" + fileName).c_str()) == 0;
}

int ExpireRecycleBin(const std::string& binDir, int64_t now, int days, int64_t maxBytes) {
    int removed = 0;
    for (const FileFacts& file : Files(binDir + "/tmp", false))
        if (file.Time < now - kStaleTmpSeconds)
            ::unlink((binDir + "/tmp/" + file.Name).c_str());
    std::vector<FileFacts> copies = Files(binDir + "/cur", true);
    int64_t total = 0;
    for (const FileFacts& file : copies)
        total += file.Bytes;
    for (const FileFacts& file : copies) {
        const bool expired = days > 0 && file.Time < now - static_cast<int64_t>(days) * 86400;
        if (!expired && (maxBytes <= 0 || total <= maxBytes))
            break; // the rest are newer
        if (::unlink((binDir + "/cur/" + file.Name).c_str()) == 0)
            ++removed;
        total -= file.Bytes;
    }
    return removed;
}
