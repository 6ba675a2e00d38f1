#include "store/localized_text.h"

#include "app/core/filter_app.h"
#include "platform/numconv.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/registry.h"

void ExpandLineBreaks(std::string& text) {
    if (text.find('*') == std::string::npos)
        return;
    std::string result;
    result.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '*') {
            result += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '*') {
            result += '*';
            ++i;
        } else {
            result += "\r\n";
        }
    }
    text = std::move(result);
}

int CFilterApp::GetLanguageName() {
    std::string value;
    if (RegQueryValue("Language", value) != 1)
        return -1;
    std::lock_guard guard(languageLock_);
    languageName_ = value;
    return 1;
}

std::string CFilterApp::GetLanguageNameValue() const {
    std::lock_guard guard(languageLock_);
    return languageName_;
}

namespace {
// The path every lookup rebuilds from the registry value, so a changed value
// takes effect at the next lookup. The profile cache keeps an unchanged file
// from being parsed again.
std::string LanguageFile(const std::string& installPath, const std::string& languageName) {
    return JoinPath(installPath, "Language/" + languageName + ".ini");
}
} // namespace

std::string CFilterApp::GetLocalizedText(int textId, const std::string& englishDefault) {
    GetLanguageName();
    std::string path;
    {
        std::lock_guard guard(languageLock_);
        languageFilePath_ = LanguageFile(InstallPath, languageName_);
        path = languageFilePath_;
    }
    return GetPrivateProfileStringA(kLanguageSection, Itoa(textId), englishDefault,
                                    kLanguageBufferSize, path);
}

void CFilterApp::LocalizeDialog(ILocalizableWindow& window,
                                const std::vector<std::string>& defaults, int firstTextId,
                                const std::vector<int>& controlIds, int count) {
    GetLanguageName();
    std::string path;
    {
        std::lock_guard guard(languageLock_);
        languageFilePath_ = LanguageFile(InstallPath, languageName_);
        path = languageFilePath_;
    }
    for (int k = 0; k < count; ++k) {
        size_t index = static_cast<size_t>(k);
        if (index >= controlIds.size())
            break;
        std::string fallback = index < defaults.size() ? defaults[index] : std::string();
        std::string text = GetPrivateProfileStringA(kLanguageSection, Itoa(firstTextId + k),
                                                    fallback, kLanguageBufferSize, path);
        if (controlIds[index] == kTitlePseudoId)
            window.SetWindowTitle(text);
        else
            window.SetControlText(controlIds[index], text);
    }
}
