// HistoryList and history.zrk. The file equals the list after every judged
// message. Appending keeps that cheap for a years-long history: a new record
// is appended when the records already in the file are unchanged and the file
// is exactly as we left it; otherwise the whole file is replaced atomically.
#include "app/core/filter_app.h"
#include "filter/history_format.h"
#include "platform/text_file.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace {
int64_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}
} // namespace

void CFilterApp::WriteHistoryFile(HistoryWriteMode mode) {
    const std::string path = DataFilePath(kHistoryFileName);
    std::lock_guard fileGuard(historyFileLock_);
    {
        // The file is not touched while it is still being read.
        std::unique_lock guard(historyLock_);
        WaitForHistoryLoad(guard);
    }
    if (mode == HistoryWriteMode::Clear) {
        // A link stays a link and its target is emptied; a file goes.
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            ReplaceFileAtomically(path, "");
        else
            ::unlink(path.c_str());
        std::lock_guard guard(historyLock_);
        historyRecordsInFile_ = 0;
        historyFileBytes_ = -1;
        historyFileUnread_ = false;
        return;
    }
    // Decide under the lock whether an append will do, and copy only what
    // must be written: a judged message must not cost more as the history grows.
    const int64_t actualBytes = FileSize(path);
    std::vector<std::shared_ptr<const HistoryEntry>> pending;
    size_t listSize;
    int64_t expectedBytes;
    bool canAppend, unread;
    {
        std::lock_guard guard(historyLock_);
        listSize = historyList_.size();
        // Records the load could not read are kept by appending after them.
        unread = historyFileUnread_;
        expectedBytes = unread ? actualBytes : historyFileBytes_;
        canAppend =
            expectedBytes >= 0 && actualBytes == expectedBytes && historyRecordsInFile_ <= listSize;
        size_t first = canAppend ? historyRecordsInFile_ : 0;
        pending.assign(historyList_.begin() + static_cast<std::ptrdiff_t>(first),
                       historyList_.end());
    }
    int64_t newBytes = -1;
    std::string bytes;
    for (const auto& entry : pending)
        AppendHistoryRecord(bytes, *entry);
    if (canAppend) {
        CTextFile file;
        if (file.Open(path, CTextFile::Mode::AppendCreate) && file.Write(bytes) && file.Flush())
            newBytes = expectedBytes + static_cast<int64_t>(bytes.size());
        // A failed append leaves the size unknown; the next write replaces the file.
    } else if ((!unread || actualBytes < 0) && ReplaceFileAtomically(path, bytes)) {
        newBytes = static_cast<int64_t>(bytes.size());
    }
    std::lock_guard guard(historyLock_);
    if (newBytes < 0 && unread)
        return; // nothing known changed: the next write tries the same append
    historyFileUnread_ = unread && actualBytes >= 0;
    historyRecordsInFile_ = newBytes >= 0 ? listSize : 0;
    historyFileBytes_ = newBytes;
}

std::vector<std::shared_ptr<const HistoryEntry>> CFilterApp::GetHistorySnapshot() const {
    std::unique_lock guard(historyLock_);
    WaitForHistoryLoad(guard);
    return historyList_;
}

size_t CFilterApp::GetHistorySize() const {
    std::unique_lock guard(historyLock_);
    WaitForHistoryLoad(guard);
    return historyList_.size();
}

std::shared_ptr<const HistoryEntry> CFilterApp::AppendHistoryEntry(HistoryEntry entry) {
    auto shared = std::make_shared<const HistoryEntry>(std::move(entry));
    std::unique_lock guard(historyLock_);
    WaitForHistoryLoad(guard);
    historyList_.push_back(shared);
    return shared;
}

void CFilterApp::ReplaceHistoryEntry(size_t index, HistoryEntry entry) {
    auto shared = std::make_shared<const HistoryEntry>(std::move(entry));
    std::unique_lock guard(historyLock_);
    WaitForHistoryLoad(guard);
    if (index >= historyList_.size())
        return;
    historyList_[index] = std::move(shared);
    // The file's copy of this record is stale now: the next write replaces it
    // (not a file with records the load could not read).
    if (historyRecordsInFile_ > index && !historyFileUnread_) {
        historyRecordsInFile_ = 0;
        historyFileBytes_ = -1;
    }
}

bool CFilterApp::ReplaceHistoryEntry(const std::shared_ptr<const HistoryEntry>& appended,
                                     HistoryEntry entry) {
    auto shared = std::make_shared<const HistoryEntry>(std::move(entry));
    std::unique_lock guard(historyLock_);
    WaitForHistoryLoad(guard);
    // A batch's entries are the newest: searched from the end.
    const auto found = std::find(historyList_.rbegin(), historyList_.rend(), appended);
    if (!appended || found == historyList_.rend())
        return false;
    const size_t index = static_cast<size_t>(historyList_.rend() - found) - 1;
    historyList_[index] = std::move(shared);
    if (historyRecordsInFile_ > index && !historyFileUnread_) {
        historyRecordsInFile_ = 0;
        historyFileBytes_ = -1;
    }
    return true;
}

void CFilterApp::ClearHistory() {
    std::lock_guard fileGuard(historyFileLock_);
    WriteHistoryFile(HistoryWriteMode::Clear);
    std::unique_lock guard(historyLock_);
    WaitForHistoryLoad(guard);
    historyList_.clear();
}
