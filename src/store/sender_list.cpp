// Sender list files and data-file compaction. The file operations run on the
// window thread and, for the new-sender step, on a session thread: one small
// lock keeps an append from landing between a compaction's read and its
// rename. It is never held while anyone waits for the user.
#include "store/sender_list.h"

#include "app/core/filter_app.h"
#include "platform/text_file.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::mutex& SenderFileLock() {
    static std::mutex lock;
    return lock;
}

// The in-memory list an entry of `fileName` belongs to; other files have none.
CSenderSet* ListFor(CFilterApp& app, const std::string& fileName, const std::string& name) {
    const bool wholeDomain = name == kWholeDomainName;
    if (fileName == kFriendListFileName)
        return wholeDomain ? &app.FriendDomains : &app.FriendAddresses;
    if (fileName == kBlockedListFileName)
        return wholeDomain ? &app.BlockedDomains : &app.BlockedAddresses;
    return nullptr;
}

void Remember(CFilterApp& app, const std::string& fileName, const std::string& name,
              const std::string& domain) {
    if (CSenderSet* list = ListFor(app, fileName, name))
        list->Append(name == kWholeDomainName ? domain : name + "@" + domain);
}

// Appends `line` to an existing regular file with a single write, so that a
// crash leaves the line whole or not there. The offset it starts at, or -1.
int64_t AppendInOneWrite(const std::string& path, const std::string& line) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    ssize_t written = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        do
            written = ::write(fd, line.data(), line.size());
        while (written < 0 && errno == EINTR);
    }
    ::close(fd);
    return written == static_cast<ssize_t>(line.size()) ? static_cast<int64_t>(st.st_size) : -1;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}
} // namespace

void CFilterApp::LoadSenderList(std::vector<SenderRow>* rows, const std::string& fileName) {
    std::lock_guard guard(SenderFileLock());
    CTextFile file;
    if (!file.Open(DataFilePath(fileName), CTextFile::Mode::Read))
        return;
    std::string line;
    for (int64_t lineStart = file.GetPosition(); file.ReadLine(line);
         lineStart = file.GetPosition()) {
        // Shorter lines have no status field to mark: they are no entries.
        if (line.size() < 3 || line.compare(0, 3, kSenderDeletedMarker) == 0)
            continue;
        // Status off the front, the CR off the end (a hand-edited last line
        // without CR loses its last character instead).
        std::string entry = line.substr(3);
        if (!entry.empty())
            entry.pop_back();
        const size_t at = entry.find('@');
        const std::string name = at == std::string::npos ? std::string() : entry.substr(0, at);
        const std::string domain = at == std::string::npos ? entry : entry.substr(at + 1);
        Remember(*this, fileName, name, domain);
        if (rows)
            rows->push_back({SenderDisplayText(name, domain), lineStart});
    }
}

uint32_t CFilterApp::AppendSender(const std::string& fileName, const std::string& name,
                                  const std::string& domain) {
    // The entry counts for this run even when the file cannot take it.
    Remember(*this, fileName, name, domain);
    if (HasLineBreak(name) || HasLineBreak(domain))
        return kSenderNotWritten;
    std::lock_guard guard(SenderFileLock());
    const std::string path = DataFilePath(fileName);
    const std::string line = std::string(kSenderLiveStatus) + name + "@" + domain + "\r\n";
    // A new file appears with its first line in it, never empty.
    if (!FileExists(path))
        return ReplaceFileAtomically(path, line) ? 0 : kSenderNotWritten;
    const int64_t offset = AppendInOneWrite(path, line);
    if (offset < 0 || offset >= static_cast<int64_t>(kSenderNotWritten))
        return kSenderNotWritten; // not written, or an offset the list pages could not hold
    return static_cast<uint32_t>(offset);
}

void CFilterApp::MarkSenderDeleted(const std::string& fileName, int64_t offset) {
    std::lock_guard guard(SenderFileLock());
    CTextFile file;
    // A missing file has no entry to mark: it is not created.
    if (offset < 0 || !file.Open(DataFilePath(fileName), CTextFile::Mode::ReadWrite))
        return;
    // Only the status field of a line inside the file: a stale or wrong
    // offset must neither grow the file nor cut into the middle of a line.
    if (!file.SeekToEnd() || offset > file.GetPosition() - 3)
        return;
    // The first line starts after a byte-order mark, which is never marked.
    if (offset < file.ContentStart())
        return;
    if (offset > file.ContentStart()) {
        char before = 0;
        if (!file.Seek(offset - 1) || file.Read(&before, 1) != 1 || before != '\n')
            return;
    }
    if (file.Seek(offset))
        file.Write(kSenderDeletedMarker);
}

void CFilterApp::CompactDataFile(const std::string& fileName, const std::string& marker) {
    std::lock_guard guard(SenderFileLock());
    const std::string path = DataFilePath(fileName);
    std::string old;
    if (ReadWholeFile(path, old) != ReadResult::Ok)
        return; // a read error leaves the file as it is
    std::string compacted;
    compacted.reserve(old.size());
    const std::string_view text(old);
    for (size_t pos = 0; pos < text.size();) {
        const size_t lf = text.find('\n', pos);
        const size_t end = lf == std::string_view::npos ? text.size() : lf;
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        // An empty marker would match every line and empty the file.
        if (!marker.empty() && line.substr(0, marker.size()) == marker)
            continue;
        const size_t cr = line.find('\r');
        if (cr != std::string_view::npos) {
            compacted.append(line.substr(0, cr));
            line.remove_prefix(cr + 1);
        }
        compacted.append(line);
        compacted += "\r\n";
    }
    // Every reader skips one byte-order mark: a first line that begins with
    // one (the file began with two) must not lose it to the next read.
    if (compacted.starts_with(kByteOrderMark))
        compacted.insert(0, kByteOrderMark);
    // Old or new file after a crash, never neither; the old file's mode
    // stays (the account file holds passwords and is its owner's only).
    ReplaceFileAtomically(path, compacted, 0600);
}
