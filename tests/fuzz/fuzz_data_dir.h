#pragma once
// One private data directory for a whole fuzzing run, removed at exit.
#include <cstdlib>
#include <filesystem>
#include <string>

struct CFuzzDataDir {
    CFuzzDataDir() {
        // Memory-backed when possible: a disk file system would spend the
        // run flushing rewritten files.
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "drossgate-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        Path = pattern;
    }
    ~CFuzzDataDir() {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    std::string Path;
};
