#include "store/mail_folder.h"

#include "platform/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kMaxDepth = 16;
constexpr size_t kLinePiece = 4096; // a longer line is taken in pieces; only the first is looked at

struct CWalk {
    const std::function<bool(std::string)>* Each = nullptr; // null: only counting
    long Handed = 0;
    long Skipped = 0;
    bool Stopped = false;

    void Take(std::string&& message) {
        ++Handed;
        if (Each && !(*Each)(std::move(message)))
            Stopped = true;
    }
};

bool EndsWithNoCase(const std::string& name, std::string_view suffix) {
    if (name.size() < suffix.size())
        return false;
    return std::equal(suffix.begin(), suffix.end(), name.end() - suffix.size(),
                      [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b | 0x20 : b); });
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using CFile = std::unique_ptr<FILE, FileCloser>;

bool StartsWithFromLine(const std::string& path) {
    CFile f(std::fopen(path.c_str(), "rb"));
    char head[5];
    return f && std::fread(head, 1, 5, f.get()) == 5 && std::memcmp(head, "From ", 5) == 0;
}

// An mbox read in chunks: messages start at a "From " line that opens the
// file or follows an empty line; ">From ", ">>From " ... lose one '>'.
class CMboxReader {
  public:
    explicit CMboxReader(CWalk& walk) : walk_(walk) {}

    void Feed(const char* p, size_t n) {
        while (n > 0 && !walk_.Stopped) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', n));
            const size_t take = lf ? static_cast<size_t>(lf - p) + 1 : n;
            line_.append(p, take);
            p += take;
            n -= take;
            if (lf || line_.size() >= kLinePiece)
                EndPiece(lf != nullptr);
        }
    }
    void Finish() {
        if (!line_.empty())
            EndPiece(false);
        EndMessage();
    }

  private:
    void EndPiece(bool lineEnds) {
        const bool wasStart = lineStart_;
        bool empty = false;
        if (wasStart) {
            if (prevEmpty_ && line_.compare(0, 5, "From ") == 0) {
                EndMessage();
                inMessage_ = true;
                dropRest_ = !lineEnds; // the rest of a long "From " line is not mail either
                line_.clear();
                lineStart_ = lineEnds;
                prevEmpty_ = false;
                return;
            }
            const size_t quotes = line_.find_first_not_of('>');
            if (quotes > 0 && quotes != std::string::npos && line_.compare(quotes, 5, "From ") == 0)
                line_.erase(0, 1);
            empty = lineEnds && (line_ == "\n" || line_ == "\r\n");
        }
        if (!dropRest_)
            Append();
        if (lineEnds)
            dropRest_ = false;
        prevEmpty_ = empty;
        lineStart_ = lineEnds;
        line_.clear();
    }
    void Append() {
        if (!inMessage_ || tooLarge_)
            return;
        bytes_ += line_.size();
        if (bytes_ > kMaxFolderMessageBytes) {
            tooLarge_ = true;
            std::string().swap(message_);
        } else if (walk_.Each) {
            message_ += line_;
        }
    }
    void EndMessage() {
        if (inMessage_ && tooLarge_) {
            ++walk_.Skipped;
        } else if (inMessage_) {
            // The empty line before the next "From " belongs to the mbox, not to the mail.
            if (message_.ends_with("\r\n\r\n"))
                message_.resize(message_.size() - 2);
            else if (message_.ends_with("\n\n"))
                message_.pop_back();
            walk_.Take(std::move(message_));
        }
        message_.clear();
        bytes_ = 0;
        inMessage_ = tooLarge_ = false;
    }

    CWalk& walk_;
    std::string line_, message_;
    uint64_t bytes_ = 0;
    bool lineStart_ = true, prevEmpty_ = true, inMessage_ = false, tooLarge_ = false,
         dropRest_ = false;
};

void ReadMbox(const std::string& path, CWalk& walk) {
    CFile f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        ++walk.Skipped;
        return;
    }
    CMboxReader reader(walk);
    std::vector<char> buffer(size_t{1} << 16);
    size_t n;
    while (!walk.Stopped && (n = std::fread(buffer.data(), 1, buffer.size(), f.get())) > 0)
        reader.Feed(buffer.data(), n);
    if (std::ferror(f.get()))
        ++walk.Skipped; // what was read of it stands
    if (!walk.Stopped)
        reader.Finish();
}

void ReadMessageFile(const std::string& path, uint64_t size, CWalk& walk) {
    if (size > kMaxFolderMessageBytes) {
        ++walk.Skipped;
        return;
    }
    std::string text;
    if (walk.Each && ReadWholeFile(path, text) != ReadResult::Ok) {
        ++walk.Skipped;
        return;
    }
    walk.Take(std::move(text));
}

// `anyName`: a message file whatever its name (in a Maildir, or named by the user).
void ReadFile(const fs::path& file, bool anyName, CWalk& walk) {
    const std::string name = file.filename().string();
    std::error_code ec;
    const uint64_t size = fs::file_size(file, ec);
    if (ec) {
        ++walk.Skipped;
        return;
    }
    if (anyName || EndsWithNoCase(name, ".eml"))
        ReadMessageFile(file.string(), size, walk);
    else if (EndsWithNoCase(name, ".mbox") || EndsWithNoCase(name, ".mbx") ||
             (name.find('.') == std::string::npos && StartsWithFromLine(file.string())))
        ReadMbox(file.string(), walk);
}

// false when `dir` cannot be listed (`ec` says why).
bool ReadFolder(const fs::path& dir, int depth, CWalk& walk, std::error_code& ec) {
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    if (ec)
        return false;
    std::sort(entries.begin(), entries.end()); // the same order at every run
    const std::string folder = dir.filename().string();
    const bool inMaildir = folder == "cur" || folder == "new";
    for (const fs::directory_entry& entry : entries) {
        if (walk.Stopped)
            return true;
        const bool link = entry.is_symlink(ec);
        if (entry.is_directory(ec)) {
            std::error_code inner;
            if (!link && depth < kMaxDepth && !ReadFolder(entry.path(), depth + 1, walk, inner))
                ++walk.Skipped;
        } else if (entry.is_regular_file(ec)) {
            const bool hidden = entry.path().filename().string().starts_with(".");
            ReadFile(entry.path(), inMaildir && !hidden, walk);
        }
    }
    return true;
}

long Walk(const std::string& path, CWalk& walk, std::string* error) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    std::string why;
    if (fs::is_directory(status)) {
        if (ReadFolder(path, 0, walk, ec))
            return walk.Handed;
        why = ec.message();
    } else if (fs::is_regular_file(status)) {
        if (CanOpenForReading(path)) {
            if (StartsWithFromLine(path))
                ReadMbox(path, walk);
            else
                ReadFile(path, true, walk);
            return walk.Handed;
        }
        why = std::strerror(errno);
    } else {
        why = ec ? ec.message() : "not a folder or a file";
    }
    if (error)
        *error = path + ": " + why;
    return -1;
}

} // namespace

long ForEachMailAt(const std::string& path, const std::function<bool(std::string message)>& each,
                   std::string* error, long* skipped) {
    CWalk walk;
    walk.Each = &each;
    const long handed = Walk(path, walk, error);
    if (skipped)
        *skipped = walk.Skipped;
    return handed;
}

long CountMailsAt(const std::string& path, std::string* error) {
    CWalk walk;
    return Walk(path, walk, error);
}
