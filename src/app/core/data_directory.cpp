#include "app/core/data_directory.h"

#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text_file.h"
#include "platform/user_dirs.h"

#include <cstdlib>
#include <dirent.h>
#include <vector>

namespace {
constexpr const char* kSettingsFile = "Settings.ini";
constexpr const char* kLanguageFolder = "Language";

// Copies `from` to `to` unless `to` exists. true when `to` exists afterwards.
bool CopyIfMissing(const std::string& from, const std::string& to) {
    if (FileExists(to))
        return true;
    std::string contents;
    return ReadWholeFile(from, contents) == ReadResult::Ok && ReplaceFileAtomically(to, contents);
}

std::vector<std::string> LanguageFileNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() > 4 && name.ends_with(".ini"))
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

// The user's language where a file for it is shipped, by the locale the
// session runs in; English otherwise.
std::string LanguageOfLocale(const std::string& defaultsDir) {
    const char* locale = nullptr;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(name); value && *value) {
            locale = value;
            break;
        }
    const std::string code = locale ? std::string(locale).substr(0, 2) : "";
    if (code == "de" && FileExists(JoinPath(defaultsDir, "Language/German.ini")))
        return "German";
    return "English";
}

std::string RegistryText(const std::string& dataDir, const std::string& language) {
    return "[" + std::string(kRegistryKey) + "]\r\nPath=" + dataDir + "\r\nLanguage=" + language +
           "\r\n";
}
} // namespace

std::string InstalledDefaultsDirectory() {
    const std::string exeDir = ExecutableDirectory();
    if (!exeDir.empty()) {
        std::string installed = exeDir + "/../share/drossgate";
        if (FileExists(JoinPath(installed, kSettingsFile)))
            return installed;
    }
#ifdef DROSSGATE_SOURCE_RESOURCES
    if (FileExists(JoinPath(DROSSGATE_SOURCE_RESOURCES, kSettingsFile)))
        return DROSSGATE_SOURCE_RESOURCES;
#endif
    return {};
}

FirstStartResult PrepareFirstStart(const std::string& defaultsDir, std::string& error) {
    const std::string registry = RegistryFilePath();
    if (FileExists(registry))
        return FirstStartResult::NotFirst;
    if (defaultsDir.empty()) {
        error = "the installed default files were not found";
        return FirstStartResult::Failed;
    }
    const std::string dataDir = XdgDataHome() + "/drossgate";
    if (!MakePrivateDirectories(dataDir) ||
        !MakePrivateDirectories(JoinPath(dataDir, kLanguageFolder))) {
        error = "cannot create the data directory " + dataDir;
        return FirstStartResult::Failed;
    }
    if (!CopyIfMissing(JoinPath(defaultsDir, kSettingsFile), JoinPath(dataDir, kSettingsFile))) {
        error = "cannot copy the default settings into " + dataDir;
        return FirstStartResult::Failed;
    }
    AddMissingLanguageFiles(defaultsDir, dataDir);
    // The registry file last: until it exists, the next start tries again.
    const size_t slash = registry.rfind('/');
    if ((slash != std::string::npos && slash > 0 &&
         !MakePrivateDirectories(registry.substr(0, slash))) ||
        !ReplaceFileAtomically(registry, RegistryText(dataDir, LanguageOfLocale(defaultsDir)))) {
        error = "cannot write the registry file " + registry;
        return FirstStartResult::Failed;
    }
    return FirstStartResult::Created;
}

void AddMissingLanguageFiles(const std::string& defaultsDir, const std::string& dataDir) {
    if (defaultsDir.empty())
        return;
    const std::string from = JoinPath(defaultsDir, kLanguageFolder);
    const std::string to = JoinPath(dataDir, kLanguageFolder);
    const std::vector<std::string> names = LanguageFileNames(from);
    if (names.empty() || !MakePrivateDirectories(to))
        return;
    for (const std::string& name : names)
        CopyIfMissing(JoinPath(from, name), JoinPath(to, name));
}
