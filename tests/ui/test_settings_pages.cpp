// The connection and options pages inside the real main window.
#include "ui_fixture.h"

#include <QListWidget>

namespace {

constexpr int kPop3 = 1018, kImap = 1019, kTimeout = 1021, kInterval = 1022;
constexpr int kConnectionPage = 4, kOptionsPage = 8, kSave = 1047;
constexpr const char* kMinInterval = "Minimum value for check interval is 5 minutes";
constexpr const char* kMaxTimeout = "Maximum value for server timeout is 3 minutes";

struct CSettingsWindow : CMainWindowFixture {
    CSettingsWindow(int index, const std::string& settings = "[SETTINGS]\r\n")
        : CMainWindowFixture(settings), page(Open(index)) {
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }
    QLineEdit* Edit(int id) { return Control<QLineEdit>(page, id); }
    // Types `text` into field `id`, then moves the focus on to `next`.
    void Leave(int id, const QString& text, int next) {
        Edit(id)->setFocus(Qt::TabFocusReason);
        Edit(id)->setText(text);
        Edit(next)->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents(); // the check runs once the focus has moved
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }
    QWidget* page;
};

// Save and Defaults reach the application at once. A bad value on leaving its field is kept as
// typed, selected, with the focus back; two bad fields must not pass the focus back and forth.
TEST(ConnectionPage, SaveDefaultsAndBoundsOnLeavingAField) {
    CSettingsWindow w(kConnectionPage);
    QTest::keyClicks(w.Edit(kImap), "-x9"); // digits only
    w.Edit(kPop3)->setText("0");
    w.Edit(kTimeout)->setText("");
    w.Edit(kInterval)->setText("99999999999"); // beyond 32 bits: unreadable, 0
    Click(w.page, 1036);
    auto fields = [&a = *w.app] {
        return std::tuple(a.Pop3Port.load(), a.ImapPort.load(), a.ServerTimeout.load(),
                          a.CheckInterval.load());
    };
    EXPECT_EQ(fields(), std::tuple(0, 1439, 0, 0));
    Click(w.page, 1020);
    EXPECT_EQ(fields(), std::tuple(110, 143, 3, 5));
    EXPECT_EQ(w.Edit(kImap)->text() + w.Edit(kInterval)->text(), QString("1435"));

    const std::tuple<int, const char*, bool> cases[] = {
        // field, typed, refused
        {kInterval, "4", true}, {kInterval, "", true},  {kInterval, "5", false},
        {kTimeout, "4", true},  {kTimeout, "0", false}, {kTimeout, "3", false}};
    CBoxRecorder boxes;
    for (auto [field, typed, refused] : cases) {
        const size_t before = boxes.seen.size();
        w.Leave(field, typed, kPop3);
        ASSERT_EQ(boxes.seen.size(), before + refused) << typed;
        const SeenMessage box{"Drossgate", field == kInterval ? kMinInterval : kMaxTimeout,
                              QMessageBox::Information};
        EXPECT_TRUE(!refused || boxes.seen.back() == box) << typed;
        EXPECT_EQ(QApplication::focusWidget(), w.Edit(refused ? field : kPop3)) << typed;
        EXPECT_EQ(w.Edit(field)->selectedText(), QString(refused ? typed : "")) << typed;
    }
    w.Edit(kTimeout)->setText("9");
    for (size_t more = 1; more <= 2; ++more) {
        w.Leave(kInterval, "1", kTimeout);
        EXPECT_EQ(boxes.seen.size(), 3 + more);
        EXPECT_EQ(QApplication::focusWidget(), w.Edit(kInterval));
    }
}

// Nothing reaches the application before "Save Settings", nor the file before close. Add waits
// for a typed extension, Delete for a row.
TEST(OptionsPage, EditsAndExtensionsAreSavedIntoTheAppAndTheFileOnClose) {
    CSettingsWindow w(kOptionsPage,
                      "[SETTINGS]\r\n10005=3\r\n10006=1000\r\n10007=1\r\n"
                      "10009=5\r\n[EXT]\r\nCount=3\r\nE1=scr\r\nE2=exe\r\nE3=bat\r\n");
    auto* list = Control<QListWidget>(w.page, 1042);
    EXPECT_EQ(Column(list->model()), QStringList({"bat", "exe", "scr"}));
    for (const char* typed : {"com", "exe"}) {
        EXPECT_FALSE(Enabled(w.page, 1043) || Enabled(w.page, 1044));
        TypeInto(w.page, 1046, typed);
        Click(w.page, 1043);
    }
    list->item(1)->setSelected(true);
    list->item(4)->setSelected(true);
    Click(w.page, 1044);
    EXPECT_FALSE(Enabled(w.page, 1044));
    EXPECT_EQ(Column(list->model()), QStringList({"bat", "exe", "exe"}));
    Click(w.page, 1040);
    TypeInto(w.page, 1028, "");
    TypeInto(w.page, 1049, "09");
    EXPECT_EQ(std::pair(*w.app->ForbiddenExtensions.Get(), w.app->NewSenderAction.load()),
              std::pair(std::vector<std::string>{"scr", "exe", "bat"}, 3));
    Click(w.page, kSave);
    EXPECT_EQ(std::tuple(w.app->NewSenderAction.load(), w.app->MaxAttachmentSize.load(),
                         w.app->MailLifeTime.load(), w.app->HiddenOptionFlag.load()),
              std::tuple(2, 0, 9, 0));
    EXPECT_EQ(*w.app->ForbiddenExtensions.Get(), (std::vector<std::string>{"bat", "exe", "exe"}));
    EXPECT_NE(w.dir.Read("Settings.ini").find("10005=3\r\n"), std::string::npos);
}

} // namespace
