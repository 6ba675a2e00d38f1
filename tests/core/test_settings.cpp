// Start-up and the settings file: defaults, bad values, counted lists, saves.
#include "app_fixture.h"
#include "platform/text_file.h"
#include "store/english_texts.h"

#include <gtest/gtest.h>

namespace {
std::array<int, 9> Fields(const CFilterApp& a) {
    return {a.Pop3Port,         a.ImapPort,        a.ServerTimeout,
            a.CheckInterval,    a.NewSenderAction, a.MaxAttachmentSize,
            a.HiddenOptionFlag, a.FilterLevel,     a.MailLifeTime};
}

// A registry file without the Path value, a missing Settings.ini or a missing
// registry file refuses to start; a Path is used as written.
TEST(Startup, RefusesWithoutRegistryPathOrSettingsAndUsesPathAsWritten) {
    const std::string key = "[Software\\Tarn Wick\\Dorn\\Spurl]\r\n";
    const char* causes[] = {"no Path value", "no Settings.ini", "no registry file"};
    for (int cause = 0; cause < 3; ++cause) {
        CAppFixture f;
        if (cause == 0)
            f.dir.Write("registry.ini", key + "Language=English\r\n");
        if (cause == 1)
            std::filesystem::remove(f.dir.File("Settings.ini"));
        CScopedEnv registry("DROSSGATE_REGISTRY",
                            f.dir.File(cause == 2 ? "absent.ini" : "registry.ini"));
        EXPECT_FALSE(f.Start()) << causes[cause];
        EXPECT_EQ(f.app->StartupErrorText(), EnglishDefault(kStartupErrorTextId)) << causes[cause];
    }
    CAppFixture f;
    f.dir.Write("registry.ini", key + "Path=" + f.dir.Path() + "/\r\n");
    ASSERT_TRUE(f.Start());
    EXPECT_EQ(f.app->SettingsFilePath, f.dir.Path() + "//Settings.ini");
}

TEST(Settings, BadValuesReadAsTheirLeadingDigitsAndListsAreBounded) {
    CAppFixture f("[settings]\r\n10001=995x\r\n10004=abc\r\n10008= -1 \r\n10009=99999999999\r\n"
                  "[EXT]\r\nCount=3\r\nE1=exe\r\nE3=scr\r\n[SPAMWORD]\r\nWCount=999999999\r\nW1=" +
                  std::string(300, 'z') + "\r\n");
    ASSERT_TRUE(f.Start());
    // Saturates, never overflows; missing keys read as their defaults.
    EXPECT_EQ(Fields(*f.app), (std::array<int, 9>{995, 143, 3, 0, 0, 1000, 0, -1, 2147483647}));
    EXPECT_EQ(*f.app->ForbiddenExtensions.Get(), (std::vector<std::string>{"exe", "", "scr"}));
    auto list = f.app->SpamWordList.Get();
    ASSERT_FALSE(list->empty());
    EXPECT_LE(list->size(), 65536u);
    EXPECT_EQ((*list)[0], std::string(259, 'z'));
}

TEST(Settings, SaveWritesEveryKeyAndShorterListsLeaveStaleKeysUnread) {
    CAppFixture f("[EXT]\r\nCount=5\r\nE1=a\r\nE2=b\r\nE3=c\r\nE4=d\r\nE5=e\r\n");
    ASSERT_TRUE(f.Start());
    EXPECT_EQ(Fields(*f.app), (std::array<int, 9>{110, 143, 3, 5, 0, 1000, 0, 4, 5}));
    EXPECT_TRUE(f.app->SpamWordList.Get()->empty());
    f.app->SaveAllSettings();
    EXPECT_EQ(f.dir.Read("Settings.ini"),
              "[EXT]\r\nCount=5\r\nE1=a\r\nE2=b\r\nE3=c\r\nE4=d\r\nE5=e\r\n[SETTINGS]\r\n10001=110"
              "\r\n10002=143\r\n10003=3\r\n10004=5\r\n10005=0\r\n10006=1000\r\n10007=0\r\n10008=4"
              "\r\n10009=5\r\nJudgeOnce=0\r\n[SPAMWORD]\r\nWCount=0\r\n");

    f.app->ForbiddenExtensions.Set({"exe", "pif"});
    f.app->SpamWordList.Set({"free offer>5", "a>b>7"});
    f.app->FilterLevel = 2;
    f.app->SaveAllSettings();
    const std::string text = f.dir.Read("Settings.ini");
    EXPECT_EQ(text.substr(0, text.find("[SETTINGS]")),
              "[EXT]\r\nCount=2\r\nE3=c\r\nE4=d\r\nE5=e\r\nE1=exe\r\nE2=pif\r\n");
    EXPECT_NE(text.find("\r\n10008=2\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.find("[SPAMWORD]")),
              "[SPAMWORD]\r\nWCount=2\r\nW1=free offer>5\r\nW2=a>b>7\r\n");

    CFilterApp reloaded; // E3..E5 stay in the file, never read again
    ASSERT_TRUE(reloaded.InitInstance());
    EXPECT_EQ(*reloaded.ForbiddenExtensions.Get(), (std::vector<std::string>{"exe", "pif"}));
    EXPECT_EQ(*reloaded.SpamWordList.Get(), (std::vector<std::string>{"free offer>5", "a>b>7"}));
    EXPECT_EQ(reloaded.FilterLevel, 2);
}

// A byte-order mark before the first section: its values are read, and a
// save keeps them in one [SETTINGS] section (the mark is not written back).
TEST(Settings, ByteOrderMarkIsSkippedAndTheSaveKeepsOneSection) {
    CAppFixture f(std::string(kByteOrderMark) +
                  "[SETTINGS]\r\n10008=1\r\n10009=30\r\nJudgeOnce=1\r\n");
    ASSERT_TRUE(f.Start());
    EXPECT_EQ(f.app->FilterLevel * 100 + f.app->MailLifeTime, 130);
    EXPECT_TRUE(f.app->JudgeOnce.load());
    f.app->SaveAllSettings();
    const std::string text = f.dir.Read("Settings.ini");
    EXPECT_EQ(text.rfind("[SETTINGS]"), 0u);
    EXPECT_NE(text.find("\r\n10008=1\r\n10009=30\r\nJudgeOnce=1\r\n"), std::string::npos);
}
} // namespace
