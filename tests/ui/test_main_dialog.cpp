// The main window driven through its tree: which page or description each
// node brings up, the empty-space and double-click rules, the bold level,
// close and reopen, localisation at the next show, and the check timer.
#include "ui/level_descriptions.h"
#include "ui/main_window_timers.h"
#include "ui/navigation_tree.h"
#include "ui_fixture.h"

#include <QPushButton>

namespace {

QString EnglishDescription(int value) {
    QString text = QString::fromStdString(DescriptionForNode(value)->English);
    return text.replace("\r\n", "\n");
}

// ---- What each node shows ----

struct NodeCase {
    int Node;
    int Page;          // the page that comes up
    int Description;   // node value whose description shows, or -1
    const char* Label; // from the installed language file
};

class NodeChoice : public ::testing::TestWithParam<NodeCase> {};

TEST_P(NodeChoice, ClickShowsItsPageOrDescription) {
    const NodeCase& c = GetParam();
    CMainWindowFixture w;
    w.Show();
    w.Click(c.Node);
    EXPECT_EQ(w.dialog->Tree()->currentItem(), w.dialog->Node(c.Node));
    EXPECT_EQ(w.dialog->Node(c.Node)->text(0), QString(c.Label));
    EXPECT_FALSE(w.dialog->Node(c.Node)->icon(0).pixmap(16, 16).isNull());
    EXPECT_EQ(w.VisiblePage(), c.Page);
    EXPECT_EQ(w.dialog->CurrentPageIndex(), c.Page);
    if (c.Description >= 0) {
        EXPECT_EQ(w.Description(), EnglishDescription(c.Description));
    }
    // The page sits right of the tree, as far from it as the tree is from
    // the window's outer left edge, level with the tree's top.
    QRect tree = w.dialog->Tree()->geometry();
    int outerToTree =
        w.dialog->Tree()->mapToGlobal(QPoint(0, 0)).x() - w.dialog->frameGeometry().left();
    EXPECT_EQ(w.dialog->Page(c.Page)->pos(),
              QPoint(tree.x() + tree.width() + outerToTree, tree.y()));
}

INSTANTIATE_TEST_SUITE_P(
    AllNodes, NodeChoice,
    ::testing::Values(NodeCase{0, 0, 0, "Mail Setup"}, NodeCase{1, 1, -1, "Add new e-mail account"},
                      NodeCase{2, 2, -1, "View or Change existing e-mail account"},
                      NodeCase{3, 3, -1, "Delete account"},
                      NodeCase{4, 4, -1, "Conntection Settings"},
                      NodeCase{5, 0, 9, "Filter Properties"}, NodeCase{6, 0, 10, "Levels"},
                      NodeCase{7, 0, 11, "Very High"}, NodeCase{8, 0, 12, "High"},
                      NodeCase{9, 0, 13, "Normal"}, NodeCase{10, 0, 14, "Low"},
                      NodeCase{11, 0, 15, "Very Low"}, NodeCase{12, 5, -1, "Spam Words"},
                      NodeCase{13, 0, 16, "Senders"}, NodeCase{14, 6, -1, "Friends List"},
                      NodeCase{15, 7, -1, "Junk List"}, NodeCase{16, 8, -1, "Options"}));

TEST(MainDialog, EmptySpaceReshowsThePageOrTheFirstDescription) {
    CMainWindowFixture w;
    w.Show();
    w.Click(12); // "Spam Words"
    w.dialog->Node(5)->setExpanded(false);
    ASSERT_EQ(w.dialog->Tree()->HitTest(w.EmptySpace()), nullptr);
    QTest::mouseClick(w.Viewport(), Qt::LeftButton, {}, w.EmptySpace());
    EXPECT_EQ(w.VisiblePage(), 5);

    w.Click(7); // "Very High"
    ASSERT_EQ(w.Description(), EnglishDescription(11));
    w.dialog->Node(5)->setExpanded(false);
    QTest::mouseClick(w.Viewport(), Qt::LeftButton, {}, w.EmptySpace());
    EXPECT_EQ(w.VisiblePage(), 0);
    EXPECT_EQ(w.Description(), EnglishDescription(0));
}

TEST(MainDialog, PageNodesLeaveTheDescriptionUntilTheNextOne) {
    CMainWindowFixture w;
    w.Show();
    w.Click(8); // "High"
    w.Click(16);
    EXPECT_EQ(w.Description(), EnglishDescription(12));
    w.Click(0);
    EXPECT_EQ(w.Description(), EnglishDescription(0));
}

// ---- Levels ----

struct BoldCase {
    int Level;
    int Node;
};

class BoldLevel : public ::testing::TestWithParam<BoldCase> {};

TEST_P(BoldLevel, FollowsTheSettingAtStart) {
    CMainWindowFixture w("[SETTINGS]\r\n10008=" + std::to_string(GetParam().Level) + "\r\n");
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(w.dialog->Node(i)->font(0).bold(), i == GetParam().Node) << i;
    EXPECT_EQ(w.dialog->ActiveLevelNode(), w.dialog->Node(GetParam().Node));
}

INSTANTIATE_TEST_SUITE_P(Levels, BoldLevel,
                         ::testing::Values(BoldCase{4, 7}, BoldCase{3, 8}, BoldCase{0, 11}));

TEST(MainDialog, DoubleClickOnLevelSetsFilterLevelAndMovesBold) {
    CMainWindowFixture w;
    w.Show();
    w.DoubleClick(8); // "High"
    EXPECT_EQ(w.ui.app().FilterLevel.load(), 3);
    EXPECT_FALSE(w.dialog->Node(7)->font(0).bold());
    EXPECT_TRUE(w.dialog->Node(8)->font(0).bold());
    EXPECT_EQ(w.dialog->ActiveLevelNode(), w.dialog->Node(8));
    EXPECT_EQ(w.Description(), EnglishDescription(12));

    w.DoubleClick(11); // "Very Low"
    EXPECT_EQ(w.ui.app().FilterLevel.load(), 0);
    EXPECT_FALSE(w.dialog->Node(8)->font(0).bold());
    EXPECT_TRUE(w.dialog->Node(11)->font(0).bold());
}

TEST(MainDialog, DoubleClickElsewhereChangesNoLevel) {
    CMainWindowFixture w;
    w.Show();
    w.DoubleClick(6);  // "Levels"
    w.DoubleClick(16); // "Options"
    w.dialog->Node(5)->setExpanded(false);
    w.dialog->Node(0)->setExpanded(false);
    QTest::mouseDClick(w.Viewport(), Qt::LeftButton, {}, w.EmptySpace());
    EXPECT_EQ(w.ui.app().FilterLevel.load(), 4);
    EXPECT_EQ(w.dialog->ActiveLevelNode(), w.dialog->Node(7));
    EXPECT_TRUE(w.dialog->Node(7)->font(0).bold());
}

// ---- Close, reopen, keys ----

TEST(MainDialog, CloseWritesSettingsAndReopensOnMailSetupCollapsed) {
    CMainWindowFixture w;
    w.Show();
    w.DoubleClick(8); // "High": FilterLevel 3
    w.Click(14);      // opens "Senders"
    ASSERT_TRUE(w.dialog->Node(5)->isExpanded());
    Click(w.dialog.get(), 1);
    EXPECT_FALSE(w.dialog->isVisible());
    EXPECT_NE(w.ui.fx.dir.Read("Settings.ini").find("10008=3"), std::string::npos);

    w.Show();
    EXPECT_EQ(w.dialog->Tree()->currentItem(), w.dialog->Node(0));
    EXPECT_EQ(w.VisiblePage(), 0);
    EXPECT_EQ(w.Description(), EnglishDescription(0));
    for (int branch : {0, 5, 6, 13})
        EXPECT_FALSE(w.dialog->Node(branch)->isExpanded()) << branch;
}

TEST(MainDialog, EscapeKeepsTheWindowAndReturnCloses) {
    CMainWindowFixture w;
    w.Show();
    QTest::keyClick(w.dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(w.dialog->isVisible());
    w.dialog->close(); // the window system's close request: no close box, no effect
    EXPECT_TRUE(w.dialog->isVisible());
    EXPECT_EQ(w.ui.fx.dir.Read("Settings.ini").find("10001="), std::string::npos);
    QTest::keyClick(w.dialog.get(), Qt::Key_Return);
    EXPECT_FALSE(w.dialog->isVisible());
    EXPECT_NE(w.ui.fx.dir.Read("Settings.ini").find("10001=110"), std::string::npos);
    EXPECT_FALSE(w.dialog->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(w.dialog->windowFlags() & Qt::WindowStaysOnTopHint);
}

// ---- Texts ----

TEST(MainDialog, LanguageFileRenamesCaptionsAtTheNextShow) {
    CMainWindowFixture w;
    w.Show();
    EXPECT_EQ(w.dialog->windowTitle(), QString("Drossgate"));
    w.ui.fx.dir.Write("Language/English.ini", "[Tarnwick]\r\n9000=Sieve\r\n9001=Done\r\n"
                                              "15001=Setup\r\n16001=First*Second **\r\n");
    EXPECT_EQ(Control<QPushButton>(w.dialog.get(), 1)->text(), QString("Close"));
    w.dialog->CloseAction();
    w.Show();
    EXPECT_EQ(w.dialog->windowTitle(), QString("Sieve"));
    EXPECT_EQ(Control<QPushButton>(w.dialog.get(), 1)->text(), QString("Done"));
    EXPECT_EQ(w.dialog->Node(0)->text(0), QString("Setup"));
    EXPECT_EQ(w.dialog->Node(1)->text(0), QString()); // not in this file
    EXPECT_EQ(w.Description(), QString("First\nSecond *"));
}

TEST(MainDialog, WithoutLanguageFileLabelsAreEmptyAndTextsEnglish) {
    CMainWindowFixture w("[SETTINGS]\r\n", "");
    w.Show();
    EXPECT_EQ(w.dialog->windowTitle(), QString("Drossgate"));
    EXPECT_EQ(Control<QPushButton>(w.dialog.get(), 1)->text(), QString("Close"));
    for (int i = 0; i < 17; ++i)
        EXPECT_TRUE(w.dialog->Node(i)->text(0).isEmpty()) << i;
    EXPECT_EQ(w.Description(), EnglishDescription(0));
}

// ---- Timer ----

TEST(MainDialog, StartsTheCheckTimerWithTheInterval) {
    CMainWindowFixture w("[SETTINGS]\r\n10004=7\r\n");
    EXPECT_TRUE(w.dialog->WindowTimers().IsRunning(kCheckTimerId));
    EXPECT_EQ(w.dialog->WindowTimers().IntervalMs(kCheckTimerId), 7 * 60000);
    EXPECT_FALSE(w.dialog->WindowTimers().IsRunning(kRetryTimerId));
    // A tick while "Check Now" is still starting postpones the check.
    w.ui.app().CheckBusy = true;
    w.ui.app().OnTimer(kCheckTimerId);
    EXPECT_FALSE(w.dialog->WindowTimers().IsRunning(kCheckTimerId));
    EXPECT_EQ(w.dialog->WindowTimers().IntervalMs(kRetryTimerId), kRetryTimerPeriodMs);
    w.ui.app().CheckBusy = false;
}

// ---- Description texts ----

TEST(LevelDescriptions, VeryHighEndsAfterOthersNotAllowed) {
    EXPECT_EQ(DescriptionForNode(11)->English,
              "Very High:\r\n(1) Users in the friend list.\r\n(1.1) Spam words: \r\n"
              "A threshold of 20% is used. Mails with spam words that exceeds 20% of the total "
              "mail body will be deleted.\r\n(1.2) Mail Size: \r\nMails with size greater than "
              "the max allowed size will be deleted.\r\n(1.3) Attachments: \r\nAny mail that "
              "contains one or more attachment of type that is in the filter list the mail will "
              "be deleted.\r\n(1.4) Number of repeated mails: \r\nMax number of mail from the "
              "same user with the same subject is 1.\r\n(2) Users in the blocked list.\r\nNot "
              "allowed at all.\r\n(3) Others.\r\nNot allowed at all.\r\n");
}

TEST(LevelDescriptions, NormalHasBothSenderGroups) {
    EXPECT_EQ(DescriptionForNode(13)->English,
              "Normal:\r\n(1) Users in the friend list.\r\n(1.1) Spam words: \r\n"
              "A threshold of 60% is used. Mails with spam words that exceeds 60% of the total "
              "mail body will be deleted.\r\n(1.2) Mail Size: \r\nNo Check.\r\n(1.3) Attachments: "
              "\r\nAny mail that contains one or more attachment of type (scr) or (exe) only will "
              "be deleted.\r\n(1.4) Number of repeated mails: \r\nMax number of mail from the "
              "same user with the same subject is 1.\r\n(2) Users in the blocked list.\r\nNot "
              "allowed at all.\r\n(3) Others.\r\n(3.1) Spam words: \r\nA threshold of 50% is "
              "used. Mails with spam words that exceeds 50% of the total mail body will be "
              "deleted.\r\n(3.2) Mail Size: \r\nMails with size greater than the max allowed "
              "size will be deleted.\r\n(3.3) Attachments: \r\nAny mail that contains one or "
              "more attachment of type (scr) or (exe) only will be deleted.\r\n(3.4) Number of "
              "repeated mails: \r\nMax number of mail from the same user with the same subject "
              "is 1.\r\n");
}

struct PieceCase {
    int Value;
    const char* Piece;
};

class LevelPiece : public ::testing::TestWithParam<PieceCase> {};

TEST_P(LevelPiece, TextHoldsThePieceOfItsLevel) {
    auto text = DescriptionForNode(GetParam().Value);
    ASSERT_TRUE(text);
    EXPECT_NE(text->English.find(GetParam().Piece), std::string::npos) << GetParam().Piece;
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, LevelPiece,
    ::testing::Values(
        PieceCase{12, "(3.1) Spam words: \r\nA threshold of 30% is used. Mails with spam words "
                      "that exceeds 30% of the total mail body will be deleted.\r\n"},
        PieceCase{12, "(3.3) Attachments: \r\nAny mail that contains one or more attachment of "
                      "type that is in the filter list"},
        PieceCase{14, "(3.1) Spam words: \r\nA threshold of 75%"},
        PieceCase{14, "(3.2) Mail Size: \r\nNo Check.\r\n"},
        PieceCase{15, "(1.4) Number of repeated mails: \r\nMax number of mail from the same "
                      "user with the same subject is 2.\r\n(2)"},
        PieceCase{15, "(3.4) Number of repeated mails: \r\nMax number of mail from the same "
                      "user with the same subject is 2.\r\n"}));

TEST(LevelDescriptions, OnlyBranchAndLevelValuesHaveOne) {
    for (int value : {-1, 1, 4, 8, 17})
        EXPECT_FALSE(DescriptionForNode(value)) << value;
    for (int value = 9; value <= 16; ++value)
        EXPECT_EQ(DescriptionForNode(value)->TextId, 16002 + (value - 9)) << value;
}

} // namespace
