#pragma once
// Byte-mode files with positions, as the data-file code uses them: no line-end
// translation, reads by line, in-place writes at an offset. Owns its FILE*.
// A UTF-8 byte-order mark at the start of a file opened for reading is
// skipped: positions stay true file offsets, the first line starts at 3.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

class CTextFile {
  public:
    enum class Mode {
        Read,            // existing file, reading only
        ReadWrite,       // existing file, reading and writing in place
        ReadWriteCreate, // as ReadWrite, created empty when missing, never truncated
        AppendCreate,    // writes go to the end; created when missing, never truncated
    };

    CTextFile() = default;
    ~CTextFile() { Close(); }
    CTextFile(const CTextFile&) = delete;
    CTextFile& operator=(const CTextFile&) = delete;

    // true when the file is open. New files get `createMode` (before umask);
    // a create through a dangling or looping link fails.
    bool Open(const std::string& path, Mode mode, unsigned createMode = 0600);
    bool IsOpen() const { return file_ != nullptr; }

    // One line without its LF (a CR before it stays). false at the end of the
    // file with nothing read. A last line without LF is returned as it is.
    bool ReadLine(std::string& line);
    // Up to `count` bytes; returns the number read (0 at the end or on error).
    size_t Read(char* buffer, size_t count);
    // A read or write has failed (as opposed to reaching the end).
    bool Failed() const;
    bool Write(const std::string& bytes);
    bool Flush();
    bool Seek(int64_t offset);
    bool SeekToEnd();
    int64_t GetPosition() const;
    // Offset of the first byte after a byte-order mark (0 without one).
    int64_t ContentStart() const { return contentStart_; }
    void Close();

  private:
    void Advance(int64_t bytes);

    FILE* file_ = nullptr;
    char* lineBuffer_ = nullptr; // getline's buffer, kept from line to line
    size_t lineCapacity_ = 0;
    int64_t position_ = -1; // -1: not counted, ask the stream
    int64_t contentStart_ = 0;
    bool injectedFailure_ = false;
};

// Tests set this to make a read fail as a disk error would: called before
// each Read with the position, true fails it.
extern bool (*gTextFileReadFails)(int64_t position);

inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Whole-file helpers. A read error is Failed, never a shorter file: callers
// must then leave the file as it is.
enum class ReadResult { Ok, Missing, Failed };
ReadResult ReadWholeFile(const std::string& path, std::string& contents);
bool FileExists(const std::string& path);
bool CanOpenForReading(const std::string& path);

// The file a write of `path` goes to: `path` itself, or for a symbolic link
// the end of its chain. false for a dangling link or a loop.
bool ResolveWriteTarget(const std::string& path, std::string& target);

// Replaces `path` by `contents` so that a crash leaves either the old or the
// new file: writes a temporary file beside it, syncs it, renames it over the
// old one. A link is resolved first and its target replaced, so the link
// stays. The new file keeps the old file's permission bits; a new file gets
// `createMode` whatever the umask. Returns false (old file untouched, the
// reason on standard error) when any step fails.
bool ReplaceFileAtomically(const std::string& path, const std::string& contents,
                           unsigned createMode = 0600);
