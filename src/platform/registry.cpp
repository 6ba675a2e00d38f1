#include "platform/registry.h"

#include "platform/profile.h"
#include "platform/text_file.h"

#include "platform/user_dirs.h"

#include <cstdlib>

namespace {
std::string UserRegistryPath() {
    return XdgConfigHome() + "/drossgate/registry.ini";
}
} // namespace

std::string RegistryFilePath() {
    if (const char* explicitPath = std::getenv("DROSSGATE_REGISTRY"); explicitPath && *explicitPath)
        return explicitPath;
    std::string user = UserRegistryPath();
    if (FileExists(user))
        return user;
    const std::string system = "/etc/drossgate/registry.ini";
    if (FileExists(system))
        return system;
    return user;
}

int RegQueryValue(const std::string& valueName, std::string& value) {
    std::string text;
    if (!ProfileLookup(RegistryFilePath(), kRegistryKey, valueName, 255, text))
        return -1;
    value = text;
    return 1;
}

int RegSetValue(const std::string& valueName, const std::string& value) {
    const std::string path = RegistryFilePath();
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakePrivateDirectories(path.substr(0, slash)))
        return -1;
    return WritePrivateProfileStringA(kRegistryKey, valueName, &value, path) ? 1 : -1;
}
