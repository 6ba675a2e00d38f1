// The settings file: defaults, bad values, switches, counted lists, saves (start-up refusals:
// the process tests).
#include "app_fixture.h"
#include "platform/text_file.h"

#include <gtest/gtest.h>

namespace {
std::array<int, 9> Fields(const CFilterApp& a) {
    return {a.Pop3Port,         a.ImapPort,        a.ServerTimeout,
            a.CheckInterval,    a.NewSenderAction, a.MaxAttachmentSize,
            a.HiddenOptionFlag, a.FilterLevel,     a.MailLifeTime};
}

// After a byte-order mark values read like the C library's atoi,
// saturated instead of overflowed.
TEST(Settings, BadValuesReadAsTheirLeadingDigitsAndListsAreBounded) {
    CAppFixture f(std::string(kByteOrderMark) +
                  "[SETTINGS]\r\n10001=995x\r\n10002=+7\r\n10003=- 3\r\n10004=abc\r\n10005=05\r\n"
                  "10006=-99999999999999999999\r\n10007=12 34\r\n10008= -1 \r\n10009=2147483648\r\n"
                  "JudgeOnce=1\r\nMatchBareAddress=1\r\nDecodeMail=1\r\n[EXT]\r\nCount=3\r\n"
                  "E1=exe\r\nE3=scr\r\n[SPAMWORD]\r\nWCount=999999999\r\nW1=" +
                  std::string(300, 'z') + "\r\n");
    ASSERT_TRUE(f.Start());
    EXPECT_EQ(Fields(*f.app),
              (std::array<int, 9>{995, 7, 0, 0, 5, -2147483648, 12, -1, 2147483647}));
    EXPECT_EQ(*f.app->ForbiddenExtensions.Get(), (std::vector<std::string>{"exe", "", "scr"}));
    auto list = f.app->SpamWordList.Get();
    ASSERT_FALSE(list->empty());
    EXPECT_LE(list->size(), 65536u);
    EXPECT_EQ((*list)[0], std::string(259, 'z'));
    EXPECT_TRUE(f.app->JudgeOnce && f.app->MatchBareAddress && f.app->DecodeMail);
    f.app->SaveAllSettings(); // the keys that only the file sets stay in it
    const std::string saved = f.dir.Read("Settings.ini");
    EXPECT_TRUE(saved.find("MatchBareAddress=1\r\nDecodeMail=1\r\n") != std::string::npos) << saved;
}

TEST(Settings, SaveWritesEveryKeyAndShorterListsLeaveStaleKeysUnread) {
    CAppFixture f(std::string(kByteOrderMark) +
                  "[EXT]\r\nCount=5\r\nE1=a\r\nE2=b\r\nE3=c\r\nE4=d\r\nE5=e\r\n");
    ASSERT_TRUE(f.Start());
    EXPECT_EQ(Fields(*f.app), (std::array<int, 9>{110, 143, 3, 5, 0, 1000, 0, 4, 5}));
    EXPECT_TRUE(f.app->SpamWordList.Get()->empty());
    EXPECT_FALSE(f.app->JudgeOnce || f.app->MatchBareAddress || f.app->DecodeMail);
    f.app->SaveAllSettings();
    EXPECT_EQ(f.dir.Read("Settings.ini"),
              "[EXT]\r\nCount=5\r\nE1=a\r\nE2=b\r\nE3=c\r\nE4=d\r\nE5=e\r\n[SETTINGS]\r\n10001=110"
              "\r\n10002=143\r\n10003=3\r\n10004=5\r\n10005=0\r\n10006=1000\r\n10007=0\r\n10008=4"
              "\r\n10009=5\r\nJudgeOnce=0\r\nRecycleBinDays=0\r\nRecycleBinMaxMB=500\r\nDryRun="
              "0\r\nShowTrayIcon=0\r\nNotifyQuestions=0\r\nNotifyDeletions=0\r\n"
              "NotifyLoginFailures=0\r\n[SPAMWORD]\r\nWCount=0\r\n");

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
} // namespace
