// The options page inside the real main window: the controls loaded once,
// "Save Settings" into the application and on to the settings file when the
// window is closed, the extension list, compaction of the three files, and
// the two commands that start something (a check, the history viewer).
#include "platform/profile.h"
#include "ui/history_dialog.h"
#include "ui/main_dialog.h"
#include "ui/options_page.h"
#include "window_support.h"

#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {
class OptionsPageTest : public ::testing::Test {
  protected:
    void Open(const std::string& settings) {
        fx.dir.Write("Settings.ini", settings);
        ASSERT_TRUE(fx.Start());
        main = std::make_unique<CMainDialog>(*fx.app);
        main->show();
        main->ShowPage(8);
        page = qobject_cast<COptionsPage*>(main->Page(8));
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(page->isVisible());
        extensions = Control<QListWidget>(page, 1042);
    }
    QStringList Extensions() const {
        QStringList items;
        for (int i = 0; i < extensions->count(); ++i)
            items << extensions->item(i)->text();
        return items;
    }
    std::string Stored(const std::string& section, const std::string& key) const {
        return GetPrivateProfileStringA(section, key, "<none>", 100, fx.dir.File("Settings.ini"));
    }

    CAppFixture fx;
    std::unique_ptr<CMainDialog> main;
    COptionsPage* page = nullptr;
    QListWidget* extensions = nullptr;
};

TEST_F(OptionsPageTest, IgnoreSenderEnablesTheNote) {
    Open("[SETTINGS]\r\n10005=3\r\n");
    auto* note = Control<QLabel>(page, 1007);
    EXPECT_TRUE(Control<QRadioButton>(page, 1041)->isChecked());
    EXPECT_TRUE(note->isEnabled());
    Click(page, 1038);
    EXPECT_FALSE(note->isEnabled());
    Click(page, 1041);
    EXPECT_TRUE(note->isEnabled());
}

TEST_F(OptionsPageTest, ExtensionsAreSortedAddedAndDeleted) {
    Open("[SETTINGS]\r\n[EXT]\r\nCount=3\r\nE1=scr\r\nE2=exe\r\nE3=bat\r\n");
    EXPECT_EQ(Extensions(), QStringList({"bat", "exe", "scr"}));
    auto* add = Control<QPushButton>(page, 1043);
    auto* remove = Control<QPushButton>(page, 1044);
    EXPECT_FALSE(add->isEnabled());
    for (const char* typed : {"com", "exe"}) {
        TypeInto(page, 1046, typed);
        EXPECT_TRUE(add->isEnabled());
        Click(page, 1043);
        EXPECT_TRUE(Control<QLineEdit>(page, 1046)->text().isEmpty());
        EXPECT_FALSE(add->isEnabled());
    }
    EXPECT_EQ(Extensions(), QStringList({"bat", "com", "exe", "exe", "scr"}));

    EXPECT_FALSE(remove->isEnabled());
    for (int row : {1, 4})
        extensions->item(row)->setSelected(true);
    EXPECT_TRUE(remove->isEnabled());
    Click(page, 1044);
    EXPECT_FALSE(remove->isEnabled());
    EXPECT_EQ(Extensions(), QStringList({"bat", "exe", "exe"}));
    // Nothing reaches the application before "Save Settings".
    EXPECT_EQ(*fx.app->ForbiddenExtensions.Get(), (std::vector<std::string>{"scr", "exe", "bat"}));
}

TEST_F(OptionsPageTest, SaveSettingsReachesTheAppAndTheFileOnClose) {
    Open("[SETTINGS]\r\n10005=0\r\n10006=1000\r\n10007=1\r\n10009=5\r\n[EXT]\r\nCount=1\r\n"
         "E1=scr\r\n");
    Click(page, 1040);
    TypeInto(page, 1028, "");
    TypeInto(page, 1049, "09");
    TypeInto(page, 1046, "exe");
    Click(page, 1043);
    TypeInto(page, 1046, "exe");
    Click(page, 1043);
    EXPECT_EQ(fx.app->NewSenderAction.load(), 0); // not before "Save Settings"

    Click(page, 1047);
    EXPECT_EQ(fx.app->NewSenderAction.load(), 2);
    EXPECT_EQ(fx.app->MaxAttachmentSize.load(), 0);
    EXPECT_EQ(fx.app->MailLifeTime.load(), 9);
    EXPECT_EQ(fx.app->HiddenOptionFlag.load(), 0);
    EXPECT_EQ(*fx.app->ForbiddenExtensions.Get(), (std::vector<std::string>{"exe", "exe", "scr"}));

    main->CloseAction();
    EXPECT_EQ(Stored("SETTINGS", "10005"), "2");
    EXPECT_EQ(Stored("SETTINGS", "10006"), "0");
    EXPECT_EQ(Stored("SETTINGS", "10007"), "0");
    EXPECT_EQ(Stored("SETTINGS", "10009"), "9");
    EXPECT_EQ(Stored("EXT", "Count"), "3");
    EXPECT_EQ(Stored("EXT", "E1") + Stored("EXT", "E2") + Stored("EXT", "E3"), "exeexescr");
}

TEST_F(OptionsPageTest, UnknownNewSenderActionSelectsNoneAndIsKept) {
    Open("[SETTINGS]\r\n10005=7\r\n");
    for (int id = 1038; id <= 1041; ++id)
        EXPECT_FALSE(Control<QRadioButton>(page, id)->isChecked()) << id;
    Click(page, 1047);
    EXPECT_EQ(fx.app->NewSenderAction.load(), 7);
}

TEST_F(OptionsPageTest, CompactRewritesAllThreeFiles) {
    Open("[SETTINGS]\r\n");
    fx.dir.Write("Friend List.zrk", "   a@x.example\r\n|*|b@x.example\r\n   c@x.example\r\n");
    fx.dir.Write("Blocked List.zrk", "|*|d@x.example\r\n   e@x.example\r\n");
    fx.dir.Write("ZRKList.zrk", "-->|one|pop.example|ann|pw<--\r\nI|two|imap.example|bob|*\r\n");
    Click(page, 1045);
    EXPECT_EQ(fx.dir.Read("Friend List.zrk"), "   a@x.example\r\n   c@x.example\r\n");
    EXPECT_EQ(fx.dir.Read("Blocked List.zrk"), "   e@x.example\r\n");
    EXPECT_EQ(fx.dir.Read("ZRKList.zrk"), "I|two|imap.example|bob|*\r\n");
    EXPECT_FALSE(fx.dir.Exists("Friend List.zrk2"));
}

TEST_F(OptionsPageTest, HistoryReportRunsTheViewer) {
    Open("[SETTINGS]\r\n");
    int closedWith = -1;
    WhenModal<CHistoryDialog>([](CHistoryDialog* viewer) { Click(viewer, 1047); });
    QObject::connect(page->HistoryDialog(), &QDialog::finished,
                     [&closedWith](int result) { closedWith = result; });
    Click(page, 1031);
    EXPECT_EQ(closedWith, 1);
}

TEST_F(OptionsPageTest, CheckNowConnectsToTheAccountsServer) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    Open("[SETTINGS]\r\n10001=" + std::to_string(server.serverPort()) + "\r\n");
    fx.dir.Write("ZRKList.zrk", "P|acc|127.0.0.1|ann|secret\r\n");
    Click(page, 1037);
    ASSERT_TRUE(WaitUntil([&] { return server.hasPendingConnections(); }, 10000));
    // Refuse the dialogue at once; the session ends without deleting anything.
    delete server.nextPendingConnection();
    EXPECT_TRUE(fx.app->WaitForCheckToFinish(std::chrono::seconds(30)));
}
} // namespace
