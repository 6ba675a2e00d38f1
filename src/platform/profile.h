#pragma once
// INI ("profile") files with the behaviour of the platform's profile functions:
// section and key names match without regard to case; blanks around keys and
// values are trimmed and one pair of double quotes around a whole value is
// removed; a missing file, section or key yields the default; values are cut
// to the buffer size - 1. Files are read with LF or CR LF and written with
// CR LF; a write replaces the key in place or appends it at the end of its
// section (the section at the end of the file when missing), keeps every
// other line, and a null value removes the key. Every save replaces the file
// atomically (temporary file and rename).
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class CProfileDocument {
  public:
    void Parse(std::string_view text);
    std::string Serialize() const;

    // The value as the reader sees it (trimmed, quotes removed), or nullopt.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    // value == nullptr removes the key.
    void Set(std::string_view section, std::string_view key, const std::string* value);
    // For each pair in turn, what Set(key, nullptr) then Set(key, &value)
    // does (the key moves to the end of the section), in one pass: a list of
    // tens of thousands of keys must not take a pass per key.
    void MoveToEnd(std::string_view section,
                   const std::vector<std::pair<std::string, std::string>>& values);

  private:
    struct Located {
        size_t sectionLine = npos; // line index of "[section]"
        size_t sectionEnd = npos;  // index one past the section's last line
        size_t keyLine = npos;
    };
    static constexpr size_t npos = static_cast<size_t>(-1);
    Located Locate(std::string_view section) const;
    void BuildIndex();

    std::vector<std::string> lines_;
    // Lookups of a parsed file without a pass per key; dropped by any change.
    bool indexed_ = false;
    std::unordered_map<std::string, size_t> keyLines_; // folded "section\nkey" -> line
};

std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                     const std::string& defaultText, size_t bufferSize,
                                     const std::string& path);

// value == nullptr removes the key. Returns true when the file was written.
bool WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                const std::string* value, const std::string& path);

// Lookup through a cache that re-parses a file only when it changed on disk
// (identity, size or time stamps). true and `value` (cut to bufferSize - 1)
// when the key exists, false when the file, section or key is missing.
bool ProfileLookup(const std::string& path, std::string_view section, std::string_view key,
                   size_t bufferSize, std::string& value);

// Groups several key writes into one replacement of the file, so a reader or a
// crash sees either all of them or none.
class CProfileWriteBatch {
  public:
    explicit CProfileWriteBatch(std::string path);
    void Write(const std::string& section, const std::string& key, const std::string* value);
    // See CProfileDocument::MoveToEnd.
    void MoveToEnd(const std::string& section,
                   const std::vector<std::pair<std::string, std::string>>& values);
    // false, file untouched, when the file existed but could not be read.
    bool Commit();

  private:
    std::string path_;
    CProfileDocument document_;
    bool readable_ = true;
};
