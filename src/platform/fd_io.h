#pragma once
// Whole reads and writes on a file descriptor: short transfers continued,
// interrupted calls retried. An offset of 0 or more reads or writes there
// (pread/pwrite) without moving the file position; -1 uses the position.
#include <cstddef>
#include <cstdint>

// false when the write failed or wrote nothing before all was written.
bool WriteFully(int fd, const char* data, size_t size, int64_t offset = -1);
// false when the read failed or the file ended before `size` bytes.
bool ReadFully(int fd, char* data, size_t size, int64_t offset = -1);
