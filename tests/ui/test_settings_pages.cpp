// The connection and options pages inside the real main window.
#include "filter/levels.h"
#include "ui_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QTabBar>

namespace {

constexpr int kPop3 = 1018, kImap = 1019, kTimeout = 1021, kInterval = 1022;

// Save and Defaults reach the application at once. A bad value is kept, selected, with the focus
// back on leaving its field; two bad fields must not pass the focus back and forth.
TEST(ConnectionPage, SaveDefaultsAndBoundsOnLeavingAField) {
    CMainWindowFixture w;
    QWidget* page = w.Open(4);
    auto edit = [page](int id) { return Control<QLineEdit>(page, id); };
    auto leave = [&](int id, const QString& text, int next) {
        edit(id)->setFocus(Qt::TabFocusReason);
        edit(id)->setText(text);
        edit(next)->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents(); // the check runs once the focus has moved
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.dialog.get()));
    };
    EXPECT_TRUE(QTest::qWaitForWindowActive(w.dialog.get()));
    QTest::keyClicks(edit(kImap), "-x9");    // digits only
    edit(kInterval)->setText("99999999999"); // beyond 32 bits: unreadable, 0
    Click(page, 1036);
    auto fields = [&a = *w.app] {
        return std::tuple(a.Pop3Port.load(), a.ImapPort.load(), a.ServerTimeout.load(),
                          a.CheckInterval.load());
    };
    EXPECT_EQ(fields(), std::tuple(110, 1439, 3, 0));
    edit(kPop3)->setText("7");
    edit(kTimeout)->setText("");
    Click(page, 1020);
    EXPECT_EQ(fields(), std::tuple(110, 143, 3, 5));
    EXPECT_EQ(edit(kImap)->text() + edit(kInterval)->text() + edit(kTimeout)->text(), "14353");

    const std::tuple<int, const char*, bool> cases[] = {
        // field, typed, refused
        {kInterval, "4", true}, {kInterval, "", true},  {kInterval, "5", false},
        {kTimeout, "4", true},  {kTimeout, "0", false}, {kTimeout, "3", false}};
    CBoxRecorder boxes;
    for (auto [field, typed, refused] : cases) {
        const size_t before = boxes.seen.size();
        leave(field, typed, kPop3);
        ASSERT_EQ(boxes.seen.size(), before + refused) << typed;
        const SeenMessage box{"Drossgate",
                              field == kInterval ? "Minimum value for check interval is 5 minutes"
                                                 : "Maximum value for server timeout is 3 minutes",
                              QMessageBox::Information};
        EXPECT_TRUE(!refused || boxes.seen.back() == box) << typed;
        EXPECT_EQ(QApplication::focusWidget(), edit(refused ? field : kPop3)) << typed;
        EXPECT_EQ(edit(field)->selectedText(), QString(refused ? typed : "")) << typed;
    }
    edit(kTimeout)->setText("9");
    for (size_t more = 1; more <= 2; ++more) {
        leave(kInterval, "1", kTimeout);
        EXPECT_EQ(boxes.seen.size(), 3 + more);
        EXPECT_EQ(QApplication::focusWidget(), edit(kInterval));
    }
}

// Nothing reaches the application before "Save Settings", nor the file before close. Add waits
// for a typed extension, Delete for a row.
TEST(OptionsPage, EditsAndExtensionsAreSavedIntoTheAppAndTheFileOnClose) {
    CMainWindowFixture w("[SETTINGS]\r\n10005=3\r\n10006=1000\r\n10007=1\r\n10009=5\r\n[EXT]\r\n"
                         "Count=3\r\nE1=scr\r\nE2=exe\r\nE3=bat\r\n");
    QWidget* page = w.Open(8);
    auto* list = Control<QListWidget>(page, 1042);
    EXPECT_EQ(Column(list->model()), QStringList({"bat", "exe", "scr"}));
    for (const char* typed : {"com", "exe"}) {
        EXPECT_FALSE(Enabled(page, 1043) || Enabled(page, 1044));
        TypeInto(page, 1046, typed);
        Click(page, 1043);
    }
    list->item(1)->setSelected(true);
    list->item(4)->setSelected(true);
    Click(page, 1044);
    EXPECT_FALSE(Enabled(page, 1044));
    EXPECT_EQ(Column(list->model()), QStringList({"bat", "exe", "exe"}));
    Click(page, 1040);
    TypeInto(page, 1049, "09");
    EXPECT_EQ(std::pair(*w.app->ForbiddenExtensions.Get(), w.app->NewSenderAction.load()),
              std::pair(std::vector<std::string>{"scr", "exe", "bat"}, 3));
    Click(page, 1047);
    EXPECT_EQ(std::tuple(w.app->NewSenderAction.load(), w.app->MaxAttachmentSize.load(),
                         w.app->MailLifeTime.load(), w.app->HiddenOptionFlag.load()),
              std::tuple(2, 1000, 9, 0));
    EXPECT_EQ(*w.app->ForbiddenExtensions.Get(), (std::vector<std::string>{"bat", "exe", "exe"}));
    EXPECT_NE(w.dir.Read("Settings.ini").find("10005=3\r\n"), std::string::npos);
    Click(page, 1057); // decide by what has been learned
    Click(page, 1047);
    EXPECT_EQ(w.app->NewSenderAction.load(), kNewSenderDecideByLearned);
}

// The Desktop tab: its switches reach the application on "Save Settings" and the file on close;
// the start at login writes or removes the desktop's entry; the language list writes the
// registry file and the window speaks the new language at once.
TEST(OptionsPage, DesktopTabSavesSwitchesStartAtLoginAndLanguage) {
    CTempDir config;
    CScopedEnv xdg{"XDG_CONFIG_HOME", config.Path()};
    CUiApp ui("[SETTINGS]\r\nShowTrayIcon=1\r\nNotifyDeletions=1\r\n",
              "[Tarnwick]\r\n11060=English\r\n");
    ui.dir.Write("Language/German.ini", "[Tarnwick]\r\n11060=Deutsch\r\n11063=Symbol zeigen\r\n");
    CMainDialog dialog(*ui.app);
    int changes = 0;
    dialog.DesktopSettingsChanged = [&] { ++changes; };
    dialog.show();
    QWidget* page = dialog.Page(8);
    dialog.ShowPage(8);
    auto checked = [&](int id) { return Control<QCheckBox>(page, id)->isChecked(); };
    EXPECT_EQ(std::vector<bool>({checked(1063), checked(1064), checked(1065), checked(1067)}),
              std::vector<bool>({true, false, true, false}));
    EXPECT_FALSE(Control(page, 1063)->isVisible()) << "the Mail tab comes first";
    Control<QTabBar>(page, 1060)->setCurrentIndex(1);
    EXPECT_TRUE(Control(page, 1063)->isVisible() && !Control(page, 1047)->isVisible());

    auto* language = Control<QComboBox>(page, 1062);
    EXPECT_EQ(language->currentText(), "English");
    ASSERT_EQ(language->findText("Deutsch"), 1);
    language->setCurrentIndex(1);
    Click(page, 1063);
    Click(page, 1064);
    Click(page, 1067);
    Click(page, 1069);
    EXPECT_EQ(std::tuple(ui.app->ShowTrayIcon.load(), ui.app->NotifyQuestions.load(), changes),
              std::tuple(false, true, 1));
    EXPECT_NE(config.Read("autostart/drossgate.desktop").find("\nExec=/"), std::string::npos);
    EXPECT_NE(ui.dir.Read("registry.ini").find("Language=German"), std::string::npos);
    EXPECT_EQ(Control<QCheckBox>(page, 1063)->text(), "Symbol zeigen");
    dialog.CloseAction();
    const std::string saved = ui.dir.Read("Settings.ini");
    EXPECT_TRUE(saved.find("ShowTrayIcon=0\r\n") != std::string::npos &&
                saved.find("NotifyQuestions=1\r\n") != std::string::npos)
        << saved;

    Click(page, 1067);
    Click(page, 1069);
    EXPECT_FALSE(config.Exists("autostart/drossgate.desktop"));
}
} // namespace
