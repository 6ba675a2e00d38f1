// The main window driven through its tree: what each node brings up, the
// empty-space and double-click rules, the bold level, close and reopen,
// localisation at the next show, the check timer, the level descriptions.
#include "ui/level_descriptions.h"
#include "ui/levels_page.h"
#include "ui/main_window_timers.h"
#include "ui_fixture.h"

namespace {

QString Described(int value) {
    return QString::fromStdString(DescriptionForNode(value)->English).replace("\r\n", "\n");
}
QString Shown(CMainWindowFixture& w) {
    return w.dialog->LevelsPage()->Description();
}
QString TitleAndClose(CMainWindowFixture& w) {
    return w.dialog->windowTitle() + "|" + Control<QPushButton>(w.dialog.get(), 1)->text();
}
const std::string::size_type npos = std::string::npos;

// Node values 1 to 8 bring up their page, 0 and 9 to 16 their description,
// right of the tree, as far from it as the tree is from the window's outer
// left edge. Empty space re-shows the page that is up, or for the
// description page the first description; page nodes leave it as it was.
TEST(MainDialog, TreeClicksShowPagesAndDescriptions) {
    const int values[] = {0, 1, 2, 3, 4, 9, 10, 11, 12, 13, 14, 15, 5, 16, 6, 7, 8};
    CMainWindowFixture w;
    w.Show();
    const QRect tree = w.dialog->Tree()->geometry();
    const QPoint pagePos(tree.right() + 1 + w.dialog->Tree()->mapToGlobal(QPoint()).x() -
                             w.dialog->frameGeometry().left(),
                         tree.y());
    for (int node = 0; node < 17; ++node) {
        const int page = values[node] >= 1 && values[node] <= 8 ? values[node] : 0;
        w.ClickNode(node);
        EXPECT_EQ(w.dialog->Tree()->currentItem(), w.dialog->Node(node)) << node;
        EXPECT_FALSE(w.dialog->Node(node)->icon(0).pixmap(16, 16).isNull()) << node;
        EXPECT_EQ(w.VisiblePage(), page) << node;
        EXPECT_EQ(w.dialog->CurrentPageIndex(), page) << node;
        EXPECT_TRUE(page != 0 || Shown(w) == Described(values[node])) << node;
        EXPECT_EQ(w.dialog->Page(page)->pos(), pagePos) << node;
    }
    w.ClickNode(8); // "High"
    w.ClickNode(12);
    EXPECT_EQ(Shown(w), Described(12));
    w.dialog->Tree()->collapseAll();
    ASSERT_EQ(w.dialog->Tree()->HitTest(w.NodePoint(-1)), nullptr);
    w.ClickNode(-1);
    EXPECT_EQ(w.VisiblePage(), 5);
    w.ClickNode(7); // "Very High"
    w.dialog->Tree()->collapseAll();
    w.ClickNode(-1);
    EXPECT_EQ(w.VisiblePage(), 0);
    EXPECT_EQ(Shown(w), Described(0));
}

// Level node value v stands for FilterLevel 15 - v: bold from the setting at
// start and moved by a double click, which sets FilterLevel at once.
TEST(MainDialog, BoldLevelFollowsTheSettingAndDoubleClicks) {
    for (auto [level, node] : {std::pair(4, 7), std::pair(3, 8), std::pair(0, 11)}) {
        CMainWindowFixture w("[SETTINGS]\r\n10008=" + std::to_string(level) + "\r\n");
        for (int i = 0; i < 17; ++i)
            EXPECT_EQ(w.Bold(i), i == node) << level << " " << i;
    }
    CMainWindowFixture w;
    w.Show();
    for (auto [node, level] : {std::pair(8, 3), std::pair(7, 4), std::pair(11, 0)}) {
        w.ClickNode(node, true);
        EXPECT_EQ(w.app->FilterLevel.load(), level);
        for (int i = 0; i < 17; ++i)
            EXPECT_EQ(w.Bold(i), i == node) << node << " " << i;
        EXPECT_EQ(w.dialog->ActiveLevelNode(), w.dialog->Node(node));
        EXPECT_EQ(Shown(w), Described(node + 4));
    }
    // "Levels", "Options" and empty space change nothing.
    w.ClickNode(6, true);
    w.ClickNode(16, true);
    w.dialog->Tree()->collapseAll();
    w.ClickNode(-1, true);
    EXPECT_EQ(w.app->FilterLevel.load(), 0);
    EXPECT_EQ(w.dialog->ActiveLevelNode(), w.dialog->Node(11));
}

// Escape and the window system's close request leave it open (it has no
// close box); "Close" and Return hide it and write the settings. It reopens
// on "Mail Setup" with the branches collapsed.
TEST(MainDialog, CloseWritesSettingsAndReopensOnMailSetupCollapsed) {
    CMainWindowFixture w;
    w.Show();
    EXPECT_FALSE(w.dialog->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(w.dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    QTest::keyClick(w.dialog.get(), Qt::Key_Escape);
    w.dialog->close();
    EXPECT_TRUE(w.dialog->isVisible());
    EXPECT_EQ(w.dir.Read("Settings.ini").find("10008="), npos);

    w.ClickNode(8, true); // FilterLevel 3
    w.ClickNode(14);      // opens "Senders"
    Click(w.dialog.get(), 1);
    EXPECT_FALSE(w.dialog->isVisible());
    EXPECT_NE(w.dir.Read("Settings.ini").find("10008=3\r\n"), npos);
    w.Show();
    EXPECT_EQ(w.dialog->Tree()->currentItem(), w.dialog->Node(0));
    EXPECT_EQ(w.VisiblePage(), 0);
    EXPECT_EQ(Shown(w), Described(0));
    for (int branch : {0, 5, 6, 13})
        EXPECT_FALSE(w.dialog->Node(branch)->isExpanded()) << branch;

    w.ClickNode(10, true); // FilterLevel 1
    QTest::keyClick(w.dialog.get(), Qt::Key_Return);
    EXPECT_FALSE(w.dialog->isVisible());
    EXPECT_NE(w.dir.Read("Settings.ini").find("10008=1\r\n"), npos);
}

// Without a language file the tree labels are empty and the texts English.
TEST(MainDialog, LanguageFileRenamesCaptionsAtTheNextShow) {
    CMainWindowFixture w;
    w.Show();
    w.dir.Write("Language/English.ini", "[Tarnwick]\r\n9000=Sieve\r\n9001=Done\r\n"
                                        "15001=Setup\r\n16001=First*Second **\r\n");
    EXPECT_EQ(TitleAndClose(w), "Drossgate|Close");
    w.dialog->CloseAction();
    w.Show();
    EXPECT_EQ(TitleAndClose(w), "Sieve|Done");
    EXPECT_EQ(w.dialog->Node(0)->text(0), "Setup");
    EXPECT_EQ(w.dialog->Node(1)->text(0), ""); // not in this file
    EXPECT_EQ(Shown(w), "First\nSecond *");

    CMainWindowFixture none("[SETTINGS]\r\n", "");
    none.Show();
    EXPECT_EQ(TitleAndClose(none), "Drossgate|Close");
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(none.dialog->Node(i)->text(0), "") << i;
    EXPECT_EQ(Shown(none), Described(0));
}

// The core drives the window's timers: a tick while "Check Now" is still
// starting postpones the check.
TEST(MainDialog, CheckTimerRunsWithTheInterval) {
    CMainWindowFixture w("[SETTINGS]\r\n10004=7\r\n");
    CMainWindowTimers& timers = w.dialog->WindowTimers();
    EXPECT_EQ(timers.IsRunning(kCheckTimerId) ? timers.IntervalMs(kCheckTimerId) : 0, 7 * 60000);
    w.app->CheckBusy = true;
    w.app->OnTimer(kCheckTimerId);
    w.app->CheckBusy = false;
    EXPECT_FALSE(timers.IsRunning(kCheckTimerId));
    EXPECT_EQ(timers.IsRunning(kRetryTimerId) ? timers.IntervalMs(kRetryTimerId) : 0,
              kRetryTimerPeriodMs);
}

// A few distinctive pieces of the level texts, built piece by piece.
TEST(LevelDescriptions, EachLevelHasItsPieces) {
    auto text = [](int value) { return DescriptionForNode(value)->English; };
    EXPECT_TRUE(text(11).starts_with(
        "Very High:\r\n(1) Users in the friend list.\r\n(1.1) Spam words: \r\nA threshold of 20% is"
        " used. Mails with spam words that exceeds 20% of the total mail body will be deleted.\r\n"
        "(1.2) Mail Size: \r\nMails with size greater"));
    EXPECT_TRUE(text(11).ends_with("(3) Others.\r\nNot allowed at all.\r\n"));
    EXPECT_TRUE(text(12).starts_with("High:\r\n"));
    EXPECT_NE(text(12).find("(3.3) Attachments: \r\nAny mail that contains one or more attachment"
                            " of type that is in the filter list"),
              npos);
    EXPECT_NE(text(13).find("(3.1) Spam words: \r\nA threshold of 50%"), npos);
    EXPECT_NE(text(14).find("(3.2) Mail Size: \r\nNo Check.\r\n"), npos);
    EXPECT_NE(text(15).find("same subject is 2.\r\n(2) Users in the blocked list."), npos);
    EXPECT_TRUE(text(15).ends_with("same subject is 2.\r\n"));
    for (int value : {-1, 1, 4, 8, 17})
        EXPECT_FALSE(DescriptionForNode(value)) << value;
    for (int value = 9; value <= 16; ++value)
        EXPECT_EQ(DescriptionForNode(value)->TextId, 16002 + (value - 9)) << value;
}

} // namespace
