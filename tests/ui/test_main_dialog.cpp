// The main window: the bold level, closing and reopening, the check timer.
#include "ui/level_descriptions.h"
#include "ui/levels_page.h"
#include "ui/main_window_timers.h"
#include "ui/navigation_nodes.h"
#include "ui_fixture.h"

namespace {

QString Described(int value) {
    return QString::fromStdString(DescriptionForNode(value)->English).replace("\r\n", "\n");
}
QList<int> BoldNodes(CMainWindowFixture& w) {
    QList<int> bold;
    for (int i = 0; i < kNavigationNodeCount; ++i)
        if (w.dialog->Node(i)->font(0).bold())
            bold << i;
    return bold;
}

// Node v is FilterLevel 15 - v, bold, moved by a double click. Escape and the close request keep
// the window; "Close" and Return write the settings. The core drives the window's timers.
TEST(MainDialog, LevelsClosingAndTimers) {
    CMainWindowFixture w("[SETTINGS]\r\n10008=4\r\n10004=7\r\n");
    EXPECT_EQ(BoldNodes(w), QList<int>{7});
    w.ClickNode(8, true); // "High"
    EXPECT_EQ(
        std::tuple(w.app->FilterLevel.load(), BoldNodes(w), w.dialog->LevelsPage()->Description()),
        std::tuple(3, QList<int>{8}, Described(12)));
    w.ClickNode(6, true);  // "Levels"
    w.ClickNode(16, true); // "Options"
    w.dialog->Tree()->collapseAll();
    w.ClickNode(-1, true);
    EXPECT_EQ(std::pair(w.app->FilterLevel.load(), BoldNodes(w)), std::pair(3, QList<int>{8}));
    QTest::keyClick(w.dialog.get(), Qt::Key_Escape);
    w.dialog->close();
    EXPECT_TRUE(w.dialog->isVisible());
    EXPECT_EQ(w.dir.Read("Settings.ini").find("10008=3"), std::string::npos);
    w.ClickNode(14); // opens "Senders"
    Click(w.dialog.get(), 1);
    EXPECT_FALSE(w.dialog->isVisible());
    EXPECT_NE(w.dir.Read("Settings.ini").find("10008=3\r\n"), std::string::npos);
    w.dialog->show();
    EXPECT_EQ(w.dialog->Tree()->currentItem(), w.dialog->Node(0));
    EXPECT_EQ(std::pair(w.VisiblePage(), w.dialog->LevelsPage()->Description()),
              std::pair(0, Described(0)));
    for (int branch : kBranchNodes)
        EXPECT_FALSE(w.dialog->Node(branch)->isExpanded()) << branch;
    w.ClickNode(11, true); // "Very Low"
    QTest::keyClick(w.dialog.get(), Qt::Key_Return);
    EXPECT_FALSE(w.dialog->isVisible());
    EXPECT_NE(w.dir.Read("Settings.ini").find("10008=0\r\n"), std::string::npos);
    CMainWindowTimers& timers = w.dialog->WindowTimers();
    EXPECT_EQ(timers.IsRunning(kCheckTimerId) ? timers.IntervalMs(kCheckTimerId) : 0, 7 * 60000);
    w.app->CheckBusy = true; // a tick while "Check Now" is still starting postpones the check
    w.app->OnTimer(kCheckTimerId);
    w.app->CheckBusy = false;
    EXPECT_FALSE(timers.IsRunning(kCheckTimerId));
    EXPECT_EQ(timers.IsRunning(kRetryTimerId) ? timers.IntervalMs(kRetryTimerId) : 0,
              kRetryTimerPeriodMs);
}

} // namespace
