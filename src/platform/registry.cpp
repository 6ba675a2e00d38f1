#include "platform/registry.h"

#include "platform/profile.h"
#include "platform/text_file.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {
std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

std::string UserRegistryPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base = (xdg && *xdg) ? std::string(xdg) : HomeDirectory() + "/.config";
    return base + "/drossgate/registry.ini";
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
