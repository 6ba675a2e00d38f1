// Reading history.zrk at start-up. The file can hold years of mail bodies:
// it is parsed piece by piece as it is read (never held whole beside its
// records), on a thread of its own so that the windows and the companion
// channel are up at once.
#include "app/core/filter_app.h"
#include "filter/history_format.h"
#include "platform/text_file.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <thread>

namespace {
constexpr size_t kReadChunk = 1 << 20;

struct HistoryRead {
    std::vector<std::shared_ptr<const HistoryEntry>> Entries;
    int64_t CompleteBytes = 0; // the prefix of the file that holds whole records
    bool Failed = false;       // the file holds records that could not be read
};

bool ReadHistoryRecords(const std::string& path, HistoryRead& read) {
    CTextFile file;
    if (!file.Open(path, CTextFile::Mode::Read)) {
        read.Failed = errno != ENOENT;
        return read.Failed;
    }
    read.CompleteBytes = file.GetPosition(); // after a byte-order mark
    static const std::string terminator = std::string(kHistoryEndMarker) + "\r\n";
    std::string pending; // bytes after the last complete record
    // No larger than the file: a short history costs no megabyte buffer.
    struct stat st {};
    const size_t pieceSize =
        ::stat(path.c_str(), &st) == 0 && st.st_size >= 0
            ? std::clamp<size_t>(static_cast<size_t>(st.st_size), 1, kReadChunk)
            : kReadChunk;
    std::unique_ptr<char[]> piece(new char[pieceSize]);
    size_t searchFrom = 0;
    for (size_t n; (n = file.Read(piece.get(), pieceSize)) > 0;) {
        pending.append(piece.get(), n);
        // A record longer than a chunk is parsed once its end has arrived,
        // not scanned again with every chunk.
        if (pending.find(terminator, searchFrom) != std::string::npos) {
            size_t used = 0;
            for (auto& entry : ParseHistoryText(pending, used))
                read.Entries.push_back(std::make_shared<const HistoryEntry>(std::move(entry)));
            pending.erase(0, used);
            read.CompleteBytes += static_cast<int64_t>(used);
        }
        searchFrom =
            pending.size() >= terminator.size() ? pending.size() - terminator.size() + 1 : 0;
    }
    // After a read error the file holds records we could not read: later
    // writes append after them and never replace the file by the shorter list.
    read.Failed = file.Failed();
    return true;
}
} // namespace

void CFilterApp::ReadHistoryIntoList() {
    HistoryRead read;
    if (!ReadHistoryRecords(DataFilePath(kHistoryFileName), read))
        return;
    std::lock_guard guard(historyLock_);
    const bool fileMatchesList = historyList_.empty();
    historyList_.insert(historyList_.end(), std::make_move_iterator(read.Entries.begin()),
                        std::make_move_iterator(read.Entries.end()));
    // A torn tail makes the file longer than what we know: the next write
    // replaces the whole file instead of appending after the torn piece.
    historyRecordsInFile_ = fileMatchesList ? historyList_.size() : 0;
    historyFileBytes_ = fileMatchesList ? read.CompleteBytes : -1;
    historyFileUnread_ = read.Failed;
    if (read.Failed)
        historyRecordsInFile_ = historyList_.size();
}

void CFilterApp::LoadHistoryFile() {
    std::lock_guard fileGuard(historyFileLock_);
    ReadHistoryIntoList();
}

void CFilterApp::StartHistoryLoad() {
    {
        std::lock_guard guard(historyLock_);
        if (historyLoading_)
            return;
        historyLoading_ = true;
    }
    auto finished = [this] {
        std::lock_guard guard(historyLock_);
        historyLoading_ = false;
        historyLoaded_.notify_all();
    };
    try {
        if (historyLoader_.joinable())
            historyLoader_.join(); // an earlier load, long finished
        // Not under historyFileLock_: a writer holds that while it waits for
        // the load to end. Writers and readers wait in WaitForHistoryLoad;
        // the destructor joins the thread.
        historyLoader_ = std::thread([this, finished] {
            ReadHistoryIntoList();
            finished();
        });
    } catch (const std::system_error&) {
        ReadHistoryIntoList(); // no thread: the load holds up start-up instead
        finished();
    }
}

void CFilterApp::WaitForHistoryLoad(std::unique_lock<std::mutex>& guard) const {
    historyLoaded_.wait(guard, [this] { return !historyLoading_; });
}
