#pragma once
// One private data directory per fuzzing run, removed at exit; in memory so runs skip flushing.
#include <cstdlib>
#include <filesystem>
#include <string>

struct CFuzzDataDir {
    std::string Path = [] {
        namespace fs = std::filesystem;
        std::string p =
            (fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
            "drossgate-fuzz-XXXXXX";
        if (!mkdtemp(p.data()))
            std::abort();
        return p;
    }();
    ~CFuzzDataDir() {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
};
