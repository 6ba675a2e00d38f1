#pragma once
// A private temporary directory for one test, removed with everything in it.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

class CTempDir {
  public:
    CTempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "drossgate-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : "";
    }
    ~CTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    bool Exists(const std::string& name) const { return std::filesystem::exists(File(name)); }
    void Write(const std::string& name, const std::string& bytes) const {
        std::filesystem::create_directories(std::filesystem::path(File(name)).parent_path());
        std::ofstream(File(name), std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

  private:
    std::string path_;
};

// A registry file's text that points the program at `dataDir`.
inline std::string RegistryText(const std::string& dataDir, const std::string& extra = "") {
    return "[Software\\Tarn Wick\\Dorn\\Spurl]\r\nPath=" + dataDir + "\r\n" + extra;
}

// Sets an environment variable for the life of the object.
class CScopedEnv {
  public:
    CScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~CScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};
