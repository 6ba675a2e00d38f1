// The settings file: nine numbered settings and two counted lists.
#include "app/core/filter_app.h"
#include "platform/numconv.h"
#include "platform/profile.h"

#include <algorithm>
#include <array>

namespace {
constexpr const char* kSettingsSection = "SETTINGS";
constexpr const char* kSettingDefaults[9] = {"110", "143", "3", "5", "0", "1000", "0", "4", "5"};
constexpr size_t kNumberBuffer = 100;
constexpr size_t kCountBuffer = 10;
constexpr size_t kEntryBuffer = 260;
constexpr int kMaxListEntries = 65536;

// The switches of the Options page's desktop tab; 0 is what an absent key means.
std::array<std::pair<const char*, std::atomic<bool> CFilterApp::*>, 4> DesktopSwitches() {
    return {{{kShowTrayIconKey, &CFilterApp::ShowTrayIcon},
             {kNotifyQuestionsKey, &CFilterApp::NotifyQuestions},
             {kNotifyDeletionsKey, &CFilterApp::NotifyDeletions},
             {kNotifyLoginFailuresKey, &CFilterApp::NotifyLoginFailures}}};
}
} // namespace

void CFilterApp::ReadNumberedSettings(std::array<int, 9>& stage) {
    for (int i = 0; i < 9; ++i)
        stage[i] =
            Atoi(GetPrivateProfileStringA(kSettingsSection, Itoa(10001 + i), kSettingDefaults[i],
                                          kNumberBuffer, SettingsFilePath));
}

void CFilterApp::WriteNumberedSettings(const std::array<int, 9>& stage, CProfileWriteBatch& batch) {
    for (int i = 0; i < 9; ++i) {
        std::string value = Itoa(stage[i]);
        batch.Write(kSettingsSection, Itoa(10001 + i), &value);
    }
}

std::vector<std::string> CFilterApp::ReadStringList(const std::string& section,
                                                    const std::string& countKey,
                                                    const std::string& prefix) {
    int n = Atoi(GetPrivateProfileStringA(section, countKey, "0", kCountBuffer, SettingsFilePath));
    std::vector<std::string> list;
    // A hand-edited count of up to 999,999,999 would hold the start-up for
    // minutes and fill the memory with empty entries; no real list is that long.
    n = std::min(n, kMaxListEntries);
    for (int k = 1; k <= n; ++k)
        list.push_back(GetPrivateProfileStringA(section, prefix + Itoa(k), "", kEntryBuffer,
                                                SettingsFilePath));
    return list;
}

void CFilterApp::WriteStringList(const std::string& section, const std::string& countKey,
                                 const std::string& prefix, const std::vector<std::string>& list,
                                 CProfileWriteBatch& batch) {
    std::string count = Itoa(static_cast<long long>(list.size()));
    batch.Write(section, countKey, &count);
    // Each key removed, then appended: the keys follow the count in order.
    std::vector<std::pair<std::string, std::string>> entries;
    entries.reserve(list.size());
    for (size_t k = 1; k <= list.size(); ++k)
        entries.emplace_back(prefix + Itoa(static_cast<long long>(k)), list[k - 1]);
    batch.MoveToEnd(section, entries);
}

void CFilterApp::LoadAllSettings() {
    StartHistoryLoad();
    LearnedScore.StartLoad(DataFilePath(kLearnedTokensFileName), [this](const std::string& why) {
        LogLine("the learned score starts empty: " + why, "-");
    });
    ReadNumberedSettings(SettingsStage);
    ForbiddenExtensions.Set(ReadStringList("EXT", "Count", "E"));
    SpamWordList.Set(ReadStringList("SPAMWORD", "WCount", "W"));
    Pop3Port = SettingsStage[0];
    ImapPort = SettingsStage[1];
    ServerTimeout = SettingsStage[2];
    CheckInterval = SettingsStage[3];
    NewSenderAction = SettingsStage[4];
    MaxAttachmentSize = SettingsStage[5];
    HiddenOptionFlag = SettingsStage[6];
    FilterLevel = SettingsStage[7];
    MailLifeTime = SettingsStage[8];
    // Read only: the save rewrites just the keys it owns, so this one stays.
    MatchBareAddress = Atoi(GetPrivateProfileStringA(kSettingsSection, "MatchBareAddress", "0",
                                                     kNumberBuffer, SettingsFilePath)) != 0;
    DecodeMail = Atoi(GetPrivateProfileStringA(kSettingsSection, kDecodeMailKey, "0", kNumberBuffer,
                                               SettingsFilePath)) != 0;
    JudgeOnce = Atoi(GetPrivateProfileStringA(kSettingsSection, kJudgeOnceKey, "0", kNumberBuffer,
                                              SettingsFilePath)) != 0;
    // Absent: no recycle bin and no dry run, as before they existed.
    RecycleBinDays =
        std::max(0, Atoi(GetPrivateProfileStringA(kSettingsSection, kRecycleBinDaysKey, "0",
                                                  kNumberBuffer, SettingsFilePath)));
    const int maxMB = Atoi(GetPrivateProfileStringA(kSettingsSection, kRecycleBinMaxMBKey, "0",
                                                    kNumberBuffer, SettingsFilePath));
    RecycleBinMaxMB = maxMB > 0 ? maxMB : kDefaultRecycleBinMaxMB;
    DryRun = Atoi(GetPrivateProfileStringA(kSettingsSection, kDryRunKey, "0", kNumberBuffer,
                                           SettingsFilePath)) != 0;
    for (const auto& [key, field] : DesktopSwitches())
        this->*field = Atoi(GetPrivateProfileStringA(kSettingsSection, key, "0", kNumberBuffer,
                                                     SettingsFilePath)) != 0;
}

void CFilterApp::SaveAllSettings() {
    SettingsStage = {Pop3Port.load(),         ImapPort.load(),        ServerTimeout.load(),
                     CheckInterval.load(),    NewSenderAction.load(), MaxAttachmentSize.load(),
                     HiddenOptionFlag.load(), FilterLevel.load(),     MailLifeTime.load()};
    // One replacement of the file for the whole save: never half a file.
    CProfileWriteBatch batch(SettingsFilePath);
    WriteNumberedSettings(SettingsStage, batch);
    // The Options page's check box; 0 is what an absent key means.
    std::string judgeOnce = JudgeOnce.load() ? "1" : "0";
    batch.Write(kSettingsSection, kJudgeOnceKey, &judgeOnce);
    std::string binDays = Itoa(RecycleBinDays.load()), binMB = Itoa(RecycleBinMaxMB.load()),
                dryRun = DryRun.load() ? "1" : "0";
    batch.Write(kSettingsSection, kRecycleBinDaysKey, &binDays);
    batch.Write(kSettingsSection, kRecycleBinMaxMBKey, &binMB);
    batch.Write(kSettingsSection, kDryRunKey, &dryRun);
    for (const auto& [key, field] : DesktopSwitches()) {
        std::string on = (this->*field).load() ? "1" : "0";
        batch.Write(kSettingsSection, key, &on);
    }
    WriteStringList("SPAMWORD", "WCount", "W", *SpamWordList.Get(), batch);
    WriteStringList("EXT", "Count", "E", *ForbiddenExtensions.Get(), batch);
    batch.Commit();
}
