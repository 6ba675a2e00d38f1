// The options page inside the real main window: the new-sender group and its
// note, the extension list, "Save Settings", compaction, "History Report"
// and "Check Now".
#include "platform/profile.h"
#include "ui/history_dialog.h"
#include "ui/options_page.h"
#include "ui_fixture.h"

#include <QListWidget>
#include <QRadioButton>
#include <QTcpServer>

namespace {
class COptionsWindow : public CMainWindowFixture {
  public:
    explicit COptionsWindow(const std::string& settings = "[SETTINGS]\r\n")
        : CMainWindowFixture(settings) {
        Show();
        dialog->ShowPage(8);
    }
    COptionsPage* page() { return static_cast<COptionsPage*>(dialog->Page(8)); }
    QListWidget* List() { return Control<QListWidget>(page(), 1042); }
    QStringList Extensions() { return Column(List()->model()); }
    std::string Stored(const std::string& section, const std::string& key) {
        return GetPrivateProfileStringA(section, key, "<none>", 100, dir.File("Settings.ini"));
    }
};

// An unknown new-sender action checks no button and is kept on saving.
TEST(OptionsPage, UnknownNewSenderActionIsKept) {
    COptionsWindow w("[SETTINGS]\r\n10005=7\r\n");
    for (int id = 1038; id <= 1041; ++id)
        EXPECT_FALSE(Control<QRadioButton>(w.page(), id)->isChecked()) << id;
    Click(w.page(), 1047);
    EXPECT_EQ(w.app->NewSenderAction.load(), 7);
}

// The note belongs to "ignore" (3). Nothing reaches the application before
// "Save Settings", and the settings file only on close.
TEST(OptionsPage, EditsAndExtensionsAreSavedIntoTheAppAndTheFileOnClose) {
    COptionsWindow w("[SETTINGS]\r\n10005=3\r\n10006=1000\r\n10007=1\r\n10009=5\r\n[EXT]\r\n"
                     "Count=3\r\nE1=scr\r\nE2=exe\r\nE3=bat\r\n");
    EXPECT_TRUE(Control<QRadioButton>(w.page(), 1041)->isChecked());
    EXPECT_TRUE(Enabled(w.page(), 1007));
    Click(w.page(), 1038);
    EXPECT_FALSE(Enabled(w.page(), 1007));
    Click(w.page(), 1041);
    EXPECT_TRUE(Enabled(w.page(), 1007));
    EXPECT_EQ(w.Extensions(), QStringList({"bat", "exe", "scr"}));
    EXPECT_FALSE(Enabled(w.page(), 1043));
    for (const char* typed : {"com", "exe"}) {
        TypeInto(w.page(), 1046, typed);
        EXPECT_TRUE(Enabled(w.page(), 1043));
        Click(w.page(), 1043);
        EXPECT_TRUE(Control<QLineEdit>(w.page(), 1046)->text().isEmpty());
        EXPECT_FALSE(Enabled(w.page(), 1043));
    }
    EXPECT_EQ(w.Extensions(), QStringList({"bat", "com", "exe", "exe", "scr"}));
    EXPECT_FALSE(Enabled(w.page(), 1044));
    for (int row : {1, 4})
        w.List()->item(row)->setSelected(true);
    EXPECT_TRUE(Enabled(w.page(), 1044));
    Click(w.page(), 1044);
    EXPECT_FALSE(Enabled(w.page(), 1044));
    EXPECT_EQ(w.Extensions(), QStringList({"bat", "exe", "exe"}));
    Click(w.page(), 1040);
    TypeInto(w.page(), 1028, "");
    TypeInto(w.page(), 1049, "09");
    EXPECT_EQ(*w.app->ForbiddenExtensions.Get(), (std::vector<std::string>{"scr", "exe", "bat"}));
    EXPECT_FALSE(Enabled(w.page(), 1007));
    EXPECT_EQ(w.app->NewSenderAction.load(), 3);

    Click(w.page(), 1047);
    EXPECT_EQ(w.app->NewSenderAction.load(), 2);
    EXPECT_EQ(w.app->MaxAttachmentSize.load(), 0);
    EXPECT_EQ(w.app->MailLifeTime.load(), 9);
    EXPECT_EQ(w.app->HiddenOptionFlag.load(), 0);
    EXPECT_EQ(*w.app->ForbiddenExtensions.Get(), (std::vector<std::string>{"bat", "exe", "exe"}));
    EXPECT_EQ(w.Stored("SETTINGS", "10005"), "3");
    w.dialog->CloseAction();
    EXPECT_EQ(w.Stored("SETTINGS", "10005") + w.Stored("SETTINGS", "10006") +
                  w.Stored("SETTINGS", "10007") + w.Stored("SETTINGS", "10009"),
              "2009");
    EXPECT_EQ(w.Stored("EXT", "Count"), "3");
    EXPECT_EQ(w.Stored("EXT", "E1") + w.Stored("EXT", "E2") + w.Stored("EXT", "E3"), "batexeexe");
}

// "Compact Data Files" rewrites all three files without their marked
// lines; "History Report" runs the viewer; "Check Now" starts a check
// (refused here at once, so the session ends without deleting anything).
TEST(OptionsPage, CompactHistoryReportAndCheckNow) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    COptionsWindow w("[SETTINGS]\r\n10001=" + std::to_string(server.serverPort()) + "\r\n");
    w.dir.Write("Friend List.zrk", "   a@x.example\r\n|*|b@x.example\r\n   c@x.example\r\n");
    w.dir.Write("Blocked List.zrk", "|*|d@x.example\r\n   e@x.example\r\n");
    w.dir.Write("ZRKList.zrk", "-->|one|pop.example|ann|pw<--\r\nP|acc|127.0.0.1|ann|secret\r\n");
    Click(w.page(), 1045);
    EXPECT_EQ(w.dir.Read("Friend List.zrk"), "   a@x.example\r\n   c@x.example\r\n");
    EXPECT_EQ(w.dir.Read("Blocked List.zrk"), "   e@x.example\r\n");
    EXPECT_EQ(w.dir.Read("ZRKList.zrk"), "P|acc|127.0.0.1|ann|secret\r\n");

    int closedWith = -1;
    WhenModal<CHistoryDialog>([](CHistoryDialog* viewer) { Click(viewer, 1047); });
    QObject::connect(w.page()->HistoryDialog(), &QDialog::finished,
                     [&closedWith](int result) { closedWith = result; });
    Click(w.page(), 1031);
    EXPECT_EQ(closedWith, 1);

    Click(w.page(), 1037);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 10000));
    delete server.nextPendingConnection();
    EXPECT_TRUE(w.app->WaitForCheckToFinish(std::chrono::seconds(30)));
}
} // namespace
