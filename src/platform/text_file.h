#pragma once
// Byte-mode files with positions, as the data-file code uses them: no line-end
// translation, reads by line, in-place writes at an offset. Owns its FILE*.
#include <cstdint>
#include <cstdio>
#include <string>

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

    // true when the file is open. New files get `createMode` (before umask).
    bool Open(const std::string& path, Mode mode, unsigned createMode = 0644);
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
    void Close();

  private:
    void Advance(int64_t bytes);

    FILE* file_ = nullptr;
    char* lineBuffer_ = nullptr; // getline's buffer, kept from line to line
    size_t lineCapacity_ = 0;
    int64_t position_ = -1; // -1: not counted, ask the stream
};

// Whole-file helpers.
bool ReadWholeFile(const std::string& path, std::string& contents);
bool FileExists(const std::string& path);
bool CanOpenForReading(const std::string& path);

// Replaces `path` by `contents` so that a crash leaves either the old or the
// new file: writes a temporary file beside it, syncs it, renames it over the
// old one. The new file keeps the old file's permission bits; a new file gets
// `createMode`. Returns false (old file untouched) when any step fails.
bool ReplaceFileAtomically(const std::string& path, const std::string& contents,
                           unsigned createMode = 0644);
