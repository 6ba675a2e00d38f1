// Start-up and the settings file: defaults, bad values, counted lists, saves.
#include "app_fixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
std::array<int, 9> Fields(const CFilterApp& a) {
    return {a.Pop3Port,         a.ImapPort,        a.ServerTimeout,
            a.CheckInterval,    a.NewSenderAction, a.MaxAttachmentSize,
            a.HiddenOptionFlag, a.FilterLevel,     a.MailLifeTime};
}

TEST(Startup, MissingRegistryValueOrSettingsFileRefusesToStart) {
    {
        CAppFixture f;
        f.dir.Write("registry.ini", "[Software\\Tarn Wick\\Dorn\\Spurl]\r\nLanguage=English\r\n");
        EXPECT_FALSE(f.Start());
        EXPECT_EQ(f.app->StartupErrorText(), kStartupErrorDefault);
    }
    {
        CAppFixture f;
        std::filesystem::remove(f.dir.File("Settings.ini"));
        EXPECT_FALSE(f.Start());
    }
    {
        CTempDir dir;
        CScopedEnv registry("DROSSGATE_REGISTRY", dir.File("absent.ini"));
        CFilterApp app;
        EXPECT_FALSE(app.InitInstance());
    }
}

TEST(Startup, PathIsUsedAsWrittenTrailingSlashIncluded) {
    CAppFixture f;
    f.dir.Write("registry.ini",
                "[Software\\Tarn Wick\\Dorn\\Spurl]\r\nPath=" + f.dir.Path() + "/\r\n");
    ASSERT_TRUE(f.Start());
    EXPECT_EQ(f.app->SettingsFilePath, f.dir.Path() + "//Settings.ini");
}

TEST(Settings, SectionWithoutKeysLoadsTheDefaults) {
    CAppFixture f;
    ASSERT_TRUE(f.Start());
    EXPECT_EQ(Fields(*f.app), (std::array<int, 9>{110, 143, 3, 5, 0, 1000, 0, 4, 5}));
    EXPECT_TRUE(f.app->ForbiddenExtensions.Get()->empty());
    EXPECT_TRUE(f.app->SpamWordList.Get()->empty());
}

TEST(Settings, NonNumericValuesReadAsTheirLeadingDigitsOrZero) {
    CAppFixture f("[settings]\r\n10001=995x\r\n10004=abc\r\n10008= -1 \r\n10009=99999999999\r\n");
    ASSERT_TRUE(f.Start());
    EXPECT_EQ(f.app->Pop3Port, 995);
    EXPECT_EQ(f.app->CheckInterval, 0);
    EXPECT_EQ(f.app->FilterLevel, -1);
    EXPECT_EQ(f.app->MailLifeTime, 2147483647); // saturates, never overflows
}

TEST(Settings, CountedListsKeepMissingEntriesEmptyAndIgnoreBadCounts) {
    CAppFixture f("[EXT]\r\nCount=3\r\nE1=exe\r\nE3=scr\r\n[SPAMWORD]\r\nWCount=x\r\nW1=a>1\r\n");
    ASSERT_TRUE(f.Start());
    EXPECT_EQ(*f.app->ForbiddenExtensions.Get(), (std::vector<std::string>{"exe", "", "scr"}));
    EXPECT_TRUE(f.app->SpamWordList.Get()->empty());
}

TEST(Settings, HostileCountIsBoundedAndEntriesAreCut) {
    CAppFixture f("[SPAMWORD]\r\nWCount=999999999\r\nW1=" + std::string(300, 'z') + "\r\n");
    ASSERT_TRUE(f.Start());
    auto list = f.app->SpamWordList.Get();
    ASSERT_FALSE(list->empty());
    EXPECT_LE(list->size(), 65536u);
    EXPECT_EQ((*list)[0], std::string(259, 'z'));
}

TEST(Settings, SaveWritesEveryKeyAndShorterListsLeaveStaleKeysUnread) {
    CAppFixture f("[EXT]\r\nCount=5\r\nE1=a\r\nE2=b\r\nE3=c\r\nE4=d\r\nE5=e\r\n");
    ASSERT_TRUE(f.Start());
    f.app->ForbiddenExtensions.Set({"exe", "pif"});
    f.app->SpamWordList.Set({"free offer>5", "a>b>7"});
    f.app->FilterLevel = 2;
    f.app->SaveAllSettings();
    std::string text = f.dir.Read("Settings.ini");
    for (int key = 10001; key <= 10009; ++key)
        EXPECT_NE(text.find("\r\n" + std::to_string(key) + "="), std::string::npos) << key;
    EXPECT_NE(text.find("E5=e"), std::string::npos); // stale, never read again
    EXPECT_NE(text.find("Count=2\r\nE3=c\r\nE4=d\r\nE5=e\r\nE1=exe\r\nE2=pif\r\n"),
              std::string::npos);

    CFilterApp reloaded;
    ASSERT_TRUE(reloaded.InitInstance());
    EXPECT_EQ(*reloaded.ForbiddenExtensions.Get(), (std::vector<std::string>{"exe", "pif"}));
    EXPECT_EQ(*reloaded.SpamWordList.Get(), (std::vector<std::string>{"free offer>5", "a>b>7"}));
    EXPECT_EQ(reloaded.FilterLevel, 2);
}

TEST(Settings, EmptyListSavesAsZeroAndSaveKeepsFileMode) {
    CAppFixture f;
    ASSERT_TRUE(f.Start());
    chmod(f.dir.File("Settings.ini").c_str(), 0600);
    f.app->SaveAllSettings();
    EXPECT_NE(f.dir.Read("Settings.ini").find("WCount=0"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat(f.dir.File("Settings.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    CFilterApp reloaded;
    ASSERT_TRUE(reloaded.InitInstance());
    EXPECT_TRUE(reloaded.SpamWordList.Get()->empty());
}
} // namespace
