// The connection settings page: the bound messages when leaving the interval
// and time-out fields, "Save Settings", "Store Defaults" and the file on close.
#include "ui_fixture.h"

namespace {

constexpr int kPop3 = 1018, kImap = 1019, kTimeout = 1021, kInterval = 1022;

class CConnectionWindow : public CMainWindowFixture {
  public:
    CConnectionWindow() {
        Show();
        ClickNode(4);
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }
    QWidget* page() { return dialog->Page(4); }
    QLineEdit* Edit(int id) { return Control<QLineEdit>(page(), id); }
    // Types `text` into field `id`, then moves the focus on to `next`.
    void Leave(int id, const QString& text, int next) {
        Edit(id)->setFocus(Qt::TabFocusReason);
        Edit(id)->setText(text);
        Edit(next)->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents(); // the check runs once the focus has moved
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }
};

constexpr const char* kMinInterval = "Minimum value for check interval is 5 minutes";
constexpr const char* kMaxTimeout = "Maximum value for server timeout is 3 minutes";

// A bad value is kept as typed, selected, with the focus back on its field.
// Two bad fields must not pass the focus back and forth between their boxes.
TEST(ConnectionPage, BoundMessagesOnLeavingAField) {
    const std::tuple<int, const char*, const char*> cases[] = {
        {kInterval, "4", kMinInterval}, {kInterval, "0", kMinInterval},
        {kInterval, "", kMinInterval},  {kInterval, "600", nullptr},
        {kInterval, "5", nullptr},      {kTimeout, "4", kMaxTimeout},
        {kTimeout, "0", nullptr},       {kTimeout, "", nullptr},
        {kTimeout, "3", nullptr}};
    CConnectionWindow w;
    CBoxRecorder boxes;
    for (auto [field, typed, message] : cases) {
        const size_t before = boxes.seen.size();
        w.Leave(field, typed, kPop3);
        EXPECT_EQ(boxes.seen.size(), before + (message ? 1 : 0)) << typed;
        EXPECT_TRUE(!message || boxes.seen.back() ==
                                    (SeenMessage{"Drossgate", message, QMessageBox::Information}))
            << typed;
        EXPECT_EQ(QApplication::focusWidget(), w.Edit(message ? field : kPop3)) << typed;
        EXPECT_EQ(w.Edit(field)->selectedText(), QString(message ? typed : "")) << typed;
    }
    w.Edit(kTimeout)->setText("9");
    for (size_t more = 1; more <= 2; ++more) {
        w.Leave(kInterval, "1", kTimeout);
        EXPECT_EQ(boxes.seen.size(), 4 + more);
        EXPECT_EQ(boxes.seen.back().Text, QString(kMinInterval));
        EXPECT_EQ(QApplication::focusWidget(), w.Edit(kInterval));
    }
}

TEST(ConnectionPage, SaveStoresTheEditsAndDefaultsReachTheFile) {
    CConnectionWindow w;
    QTest::keyClicks(w.Edit(kImap), "-x9"); // digits only
    EXPECT_EQ(w.Edit(kImap)->text(), QString("1439"));
    w.Edit(kPop3)->setText("0");
    w.Edit(kTimeout)->setText("");
    w.Edit(kInterval)->setText("99999999999"); // beyond 32 bits: unreadable, 0
    Click(w.page(), 1036);
    auto fields = [&w] {
        return std::tuple(w.app->Pop3Port.load(), w.app->ImapPort.load(),
                          w.app->ServerTimeout.load(), w.app->CheckInterval.load());
    };
    EXPECT_EQ(fields(), std::tuple(0, 1439, 0, 0));

    Click(w.page(), 1020);
    EXPECT_EQ(fields(), std::tuple(110, 143, 3, 5));
    EXPECT_EQ(w.Edit(kImap)->text() + w.Edit(kInterval)->text(), QString("1435"));
    w.dialog->CloseAction();
    const std::string settings = w.dir.Read("Settings.ini");
    for (const char* line : {"10001=110\r\n", "10002=143\r\n", "10003=3\r\n", "10004=5\r\n"})
        EXPECT_NE(settings.find(line), std::string::npos) << line;
}

} // namespace
