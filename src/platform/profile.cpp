#include "platform/profile.h"

#include "platform/text_file.h"

#include <cstdio>
#include <deque>
#include <list>
#include <mutex>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

// "[name]" -> name (trimmed); nullopt for other lines.
std::optional<std::string_view> SectionName(std::string_view line) {
    std::string_view t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    size_t close = t.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// "key=value" -> key (trimmed); nullopt for lines without "=" or comments.
std::optional<std::string_view> KeyName(std::string_view line) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';')
        return std::nullopt;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return Trim(t.substr(0, eq));
}

std::string ValueOf(std::string_view line) {
    std::string_view v = Trim(line.substr(line.find('=') + 1));
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

// A value that the reader would change (outer blanks, enclosing quotes) is
// written in quotes, so every value written reads back the same.
std::string EncodeValue(const std::string& value) {
    bool needsQuotes =
        !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                           (value.size() >= 2 && value.front() == '"' && value.back() == '"'));
    return needsQuotes ? "\"" + value + "\"" : value;
}

// Names compare without regard to ASCII case.
std::string Folded(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return folded;
}

std::string Cut(std::string value, size_t bufferSize) {
    size_t limit = bufferSize == 0 ? 0 : bufferSize - 1;
    if (value.size() > limit)
        value.resize(limit);
    return value;
}
} // namespace

void CProfileDocument::Parse(std::string_view text) {
    lines_.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        size_t end = lf == std::string_view::npos ? text.size() : lf;
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines_.emplace_back(line);
        start = lf == std::string_view::npos ? text.size() : lf + 1;
    }
    BuildIndex();
}

void CProfileDocument::BuildIndex() {
    // As Locate and Find: the first section of a name, its first line of a key.
    keyLines_.clear();
    std::unordered_set<std::string> seenSections;
    bool first = false;
    std::string section;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (auto name = SectionName(lines_[i])) {
            section = Folded(*name);
            first = seenSections.insert(section).second;
        } else if (auto key = KeyName(lines_[i]); key && first) {
            keyLines_.emplace(section + '\n' + Folded(*key), i);
        }
    }
    indexed_ = true;
}

std::string CProfileDocument::Serialize() const {
    std::string out;
    for (const auto& line : lines_) {
        out += line;
        out += "\r\n";
    }
    return out;
}

CProfileDocument::Located CProfileDocument::Locate(std::string_view section) const {
    Located at;
    for (size_t i = 0; i < lines_.size(); ++i) {
        auto name = SectionName(lines_[i]);
        if (!name)
            continue;
        if (at.sectionLine != npos) { // the first matching section ends here
            at.sectionEnd = i;
            return at;
        }
        if (EqualNoCase(*name, section))
            at.sectionLine = i;
        continue;
    }
    if (at.sectionLine != npos)
        at.sectionEnd = lines_.size();
    return at;
}

std::optional<std::string> CProfileDocument::Find(std::string_view section,
                                                  std::string_view key) const {
    if (indexed_) {
        auto found = keyLines_.find(Folded(section) + '\n' + Folded(key));
        return found == keyLines_.end()
                   ? std::nullopt
                   : std::optional<std::string>(ValueOf(lines_[found->second]));
    }
    Located at = Locate(section);
    if (at.sectionLine == npos)
        return std::nullopt;
    for (size_t i = at.sectionLine + 1; i < at.sectionEnd; ++i) {
        auto name = KeyName(lines_[i]);
        if (name && EqualNoCase(*name, key))
            return ValueOf(lines_[i]);
    }
    return std::nullopt;
}

void CProfileDocument::Set(std::string_view section, std::string_view key,
                           const std::string* value) {
    indexed_ = false;
    Located at = Locate(section);
    if (at.sectionLine == npos) {
        if (!value)
            return;
        std::string header(1, '[');
        header.append(section);
        header += ']';
        lines_.push_back(std::move(header));
        lines_.push_back(std::string(key) + "=" + EncodeValue(*value));
        return;
    }
    size_t lastContent = at.sectionLine;
    for (size_t i = at.sectionLine + 1; i < at.sectionEnd; ++i) {
        auto name = KeyName(lines_[i]);
        if (name && EqualNoCase(*name, key)) {
            if (value)
                lines_[i] = std::string(key) + "=" + EncodeValue(*value);
            else
                lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
        if (!Trim(lines_[i]).empty())
            lastContent = i;
    }
    if (value)
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastContent + 1),
                      std::string(key) + "=" + EncodeValue(*value));
}

void CProfileDocument::MoveToEnd(std::string_view section,
                                 const std::vector<std::pair<std::string, std::string>>& values) {
    if (values.empty())
        return;
    indexed_ = false;
    Located at = Locate(section);
    if (at.sectionLine == npos) {
        lines_.push_back("[" + std::string(section) + "]");
        at.sectionLine = lines_.size() - 1;
        at.sectionEnd = lines_.size();
    }
    using Line = std::list<std::string>::iterator;
    const auto begin = lines_.begin();
    std::list<std::string> body(begin + static_cast<std::ptrdiff_t>(at.sectionLine + 1),
                                begin + static_cast<std::ptrdiff_t>(at.sectionEnd));
    std::unordered_map<std::string, std::deque<Line>> keys; // each key's lines in order
    Line last = body.end(); // the last line that is not blank; end(): the header
    for (Line it = body.begin(); it != body.end(); ++it) {
        if (auto name = KeyName(*it))
            keys[Folded(*name)].push_back(it);
        if (!Trim(*it).empty())
            last = it;
    }
    for (const auto& [key, value] : values) {
        std::deque<Line>& lines = keys[Folded(key)];
        const std::string line = key + "=" + EncodeValue(value);
        if (!lines.empty()) {
            const Line gone = lines.front();
            lines.pop_front();
            if (gone == last) // the content now ends at the line above that is not blank
                do
                    last = last == body.begin() ? body.end() : std::prev(last);
                while (last != body.end() && Trim(*last).empty());
            body.erase(gone);
        }
        if (!lines.empty()) { // a second line of the key takes the value where it stands
            *lines.front() = line;
            continue;
        }
        last = body.insert(last == body.end() ? body.begin() : std::next(last), line);
        lines.push_back(last);
    }
    lines_.erase(begin + static_cast<std::ptrdiff_t>(at.sectionLine + 1),
                 begin + static_cast<std::ptrdiff_t>(at.sectionEnd));
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at.sectionLine + 1), body.begin(),
                  body.end());
}

std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                     const std::string& defaultText, size_t bufferSize,
                                     const std::string& path) {
    std::string value;
    if (ProfileLookup(path, section, key, bufferSize, value))
        return value;
    return Cut(defaultText, bufferSize);
}

bool WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                const std::string* value, const std::string& path) {
    CProfileWriteBatch batch(path);
    batch.Write(section, key, value);
    return batch.Commit();
}

namespace {
struct CachedProfile {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    timespec changed{};
    std::shared_ptr<const CProfileDocument> document;
};

bool SameStamp(const CachedProfile& c, const struct stat& st) {
    return c.device == st.st_dev && c.inode == st.st_ino && c.size == st.st_size &&
           c.modified.tv_sec == st.st_mtim.tv_sec && c.modified.tv_nsec == st.st_mtim.tv_nsec &&
           c.changed.tv_sec == st.st_ctim.tv_sec && c.changed.tv_nsec == st.st_ctim.tv_nsec;
}

std::mutex cacheLock;
std::unordered_map<std::string, CachedProfile> cache;

std::shared_ptr<const CProfileDocument> LoadCached(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        std::lock_guard guard(cacheLock);
        cache.erase(path);
        return nullptr;
    }
    {
        std::lock_guard guard(cacheLock);
        auto it = cache.find(path);
        if (it != cache.end() && SameStamp(it->second, st))
            return it->second.document;
    }
    std::string text;
    if (ReadWholeFile(path, text) != ReadResult::Ok)
        return nullptr;
    auto document = std::make_shared<CProfileDocument>();
    document->Parse(text);
    CachedProfile entry{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, document};
    std::lock_guard guard(cacheLock);
    if (cache.size() > 64) // a handful of files are ever read; keep it bounded anyway
        cache.clear();
    cache[path] = entry;
    return document;
}
} // namespace

bool ProfileLookup(const std::string& path, std::string_view section, std::string_view key,
                   size_t bufferSize, std::string& value) {
    auto document = LoadCached(path);
    if (!document)
        return false;
    auto found = document->Find(section, key);
    if (!found)
        return false;
    value = Cut(std::move(*found), bufferSize);
    return true;
}

CProfileWriteBatch::CProfileWriteBatch(std::string path) : path_(std::move(path)) {
    std::string text;
    const ReadResult read = ReadWholeFile(path_, text);
    readable_ = read != ReadResult::Failed; // a missing file is written new
    if (read == ReadResult::Ok)
        document_.Parse(text);
}

void CProfileWriteBatch::Write(const std::string& section, const std::string& key,
                               const std::string* value) {
    document_.Set(section, key, value);
}

void CProfileWriteBatch::MoveToEnd(const std::string& section,
                                   const std::vector<std::pair<std::string, std::string>>& values) {
    document_.MoveToEnd(section, values);
}

bool CProfileWriteBatch::Commit() {
    // Written over a file we could not read, the batch would lose its other keys.
    if (!readable_) {
        std::fprintf(stderr, "drossgate: %s could not be read and was left as it was\n",
                     path_.c_str());
        return false;
    }
    return ReplaceFileAtomically(path_, document_.Serialize());
}
