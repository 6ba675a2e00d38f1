// The connection settings page: the bound messages when leaving the interval
// and time-out fields (and no endless hand-over of the focus between two bad
// fields), Store Defaults, Save Settings and the settings file on close.
#include "app/core/filter_app.h"
#include "ui/connection_page.h"
#include "ui_fixture.h"

namespace {

constexpr int kPop3 = 1018, kImap = 1019, kTimeout = 1021, kInterval = 1022;

class CConnectionWindow : public CMainWindowFixture {
  public:
    CConnectionWindow() {
        Show();
        Click(4);
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
        // The window system gives the focus back to the window once a box
        // has closed; the offscreen platform leaves that to us.
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }
};

struct BoundCase {
    int Field;
    const char* Typed;
    const char* Message; // null: none
};

class BoundMessage : public ::testing::TestWithParam<BoundCase> {};

TEST_P(BoundMessage, ShownOnLeavingWithTheFocusBack) {
    const BoundCase& c = GetParam();
    CConnectionWindow w;
    CBoxRecorder boxes;
    w.Leave(c.Field, c.Typed, kPop3);
    if (!c.Message) {
        EXPECT_TRUE(boxes.seen.empty()) << c.Typed;
        EXPECT_EQ(QApplication::focusWidget(), w.Edit(kPop3));
        return;
    }
    ASSERT_EQ(boxes.seen.size(), 1u) << c.Typed;
    EXPECT_EQ(boxes.seen[0].Text, QString(c.Message));
    EXPECT_EQ(boxes.seen[0].Caption, QString("Drossgate"));
    EXPECT_EQ(boxes.seen[0].Icon, QMessageBox::Information);
    EXPECT_EQ(QApplication::focusWidget(), w.Edit(c.Field));
    EXPECT_EQ(w.Edit(c.Field)->selectedText(), QString(c.Typed));
    EXPECT_EQ(w.Edit(c.Field)->text(), QString(c.Typed)); // kept as typed
}

constexpr const char* kMinInterval = "Minimum value for check interval is 5 minutes";
constexpr const char* kMaxTimeout = "Maximum value for server timeout is 3 minutes";

INSTANTIATE_TEST_SUITE_P(
    Bounds, BoundMessage,
    ::testing::Values(BoundCase{kInterval, "4", kMinInterval},
                      BoundCase{kInterval, "0", kMinInterval},
                      BoundCase{kInterval, "", kMinInterval}, BoundCase{kInterval, "5", nullptr},
                      BoundCase{kInterval, "600", nullptr}, BoundCase{kTimeout, "4", kMaxTimeout},
                      BoundCase{kTimeout, "3", nullptr}, BoundCase{kTimeout, "0", nullptr},
                      BoundCase{kTimeout, "", nullptr}));

TEST(ConnectionPage, TwoBadFieldsDoNotPassTheFocusBackAndForth) {
    CConnectionWindow w;
    w.Edit(kTimeout)->setText("9");
    CBoxRecorder boxes;
    w.Leave(kInterval, "1", kTimeout); // the interval's box puts the focus back on it
    EXPECT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), w.Edit(kInterval));
    w.Leave(kInterval, "1", kTimeout);
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].Text, QString(kMinInterval));
}

TEST(ConnectionPage, SaveStoresTheEditsAndDefaultsReachTheFile) {
    CConnectionWindow w;
    EXPECT_EQ(w.Edit(kPop3)->text(), QString("110"));
    QTest::keyClicks(w.Edit(kImap), "-x9"); // digits only
    EXPECT_EQ(w.Edit(kImap)->text(), QString("1439"));
    w.Edit(kPop3)->setText("0");
    w.Edit(kTimeout)->setText("");
    w.Edit(kInterval)->setText("99999999999"); // beyond 32 bits: unreadable, 0
    Click(w.page(), 1036);
    CFilterApp& app = w.ui.app();
    EXPECT_EQ(app.Pop3Port.load(), 0);
    EXPECT_EQ(app.ImapPort.load(), 1439);
    EXPECT_EQ(app.ServerTimeout.load(), 0);
    EXPECT_EQ(app.CheckInterval.load(), 0);

    Click(w.page(), 1020);
    EXPECT_EQ(app.Pop3Port.load(), 110);
    EXPECT_EQ(app.CheckInterval.load(), 5);
    EXPECT_EQ(w.Edit(kImap)->text(), QString("143"));
    EXPECT_EQ(w.Edit(kInterval)->text(), QString("5"));
    w.dialog->CloseAction();
    const std::string settings = w.ui.fx.dir.Read("Settings.ini");
    for (const char* line : {"10001=110\r\n", "10002=143\r\n", "10003=3\r\n", "10004=5\r\n"})
        EXPECT_NE(settings.find(line), std::string::npos) << line;
}

} // namespace
