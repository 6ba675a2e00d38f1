// The core part of start-up: find the data directory, make sure the settings
// file is there, load everything.
#include "app/core/filter_app.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text_file.h"
#include "store/english_texts.h"

int CFilterApp::CheckInstallPath() {
    std::string path;
    if (RegQueryValue("Path", path) != 1)
        return -1;
    InstallPath = path;
    SettingsFilePath = JoinPath(InstallPath, kSettingsFileName);
    return 1;
}

int CFilterApp::SettingsFileExists() {
    return CanOpenForReading(SettingsFilePath) ? 1 : -1;
}

std::string CFilterApp::StartupErrorText() {
    return GetLocalizedText(kStartupErrorTextId, EnglishDefault(kStartupErrorTextId));
}

bool CFilterApp::InitInstance() {
    if (CheckInstallPath() != 1)
        return false;
    if (SettingsFileExists() != 1)
        return false;
    LoadAllSettings();
    return true;
}
