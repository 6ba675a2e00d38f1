// The friends and blocked list pages with the Add Sender dialog: rows and the
// filter's lists from the files, adds that reach the filter at once, deletes
// that mark the file, and edits in place checked and completed.
#include "core/filter_fixture.h"
#include "ui/add_sender_dialog.h"
#include "ui/blocked_list_page.h"
#include "ui/friend_list_page.h"
#include "ui/name_field_filter.h"
#include "ui/sender_entry_check.h"
#include "ui_fixture.h"

namespace {
const std::string kBlocked = "Blocked List.zrk", kFriends = "Friend List.zrk";

// Kind 'S' is tried on the account page's server name.
TEST(NameFilter, KeepsWhatTheKindAllows) {
    EXPECT_EQ(FilterNameChars("*a.b_c@x|y z", 'U', "*"), "*a.b_c@xyz");
    EXPECT_EQ(FilterNameChars("*a", 'U', ""), "a");
    // Judged by the low seven bits: 233 counts as "i", 160 as a blank.
    EXPECT_EQ(FilterNameChars(QString("r") + QChar(233) + QChar(160) + "s", 'S', ""),
              QString("r") + QChar(233) + "s");
}

QTableWidget* List(QWidget* page) {
    return Control<QTableWidget>(page, 1026);
}
QStringList Rows(QWidget* page) {
    return Column(List(page)->model());
}

// Creating the main window, as start-up does before the first check, loads
// each list into the filter exactly once (live lines only) and builds the
// spam tables.
TEST(SenderPages, MainWindowCreationLoadsEachListOnce) {
    CUiApp ui;
    ui.dir.Write(kFriends, "   ann@mail.example\r\n   *@family.example\r\n");
    ui.dir.Write(kBlocked, "   ann@mail.example\r\n|*|bob@mail.example\r\n   *@offers.example\r\n");
    ui.app->SpamWordList.Set({"offer>5"});
    CMainDialog main(*ui.app);
    CFilterApp& app = *ui.app;
    EXPECT_EQ(std::tuple(app.FriendAddresses.Size(), app.FriendDomains.Size(),
                         app.BlockedAddresses.Size(), app.BlockedDomains.Size()),
              std::tuple(1u, 1u, 1u, 1u));
    EXPECT_TRUE(app.FriendDomains.Contains("family.example"));
    EXPECT_FALSE(app.BlockedAddresses.Contains("bob@mail.example"));
    EXPECT_TRUE(ui.app->SpamTablesBuilt.load());
    EXPECT_EQ(ui.app->SpamDegreeTotal, 5);
    // The friends list's header is fixed until its first show.
    EXPECT_EQ(List(main.Page(6))->horizontalHeaderItem(0)->text(), "Friends List");
    EXPECT_EQ(Rows(main.Page(7)), QStringList({"{ann} @mail.example", "{*} @offers.example"}));
    EXPECT_EQ(List(main.Page(7))->item(1, 0)->data(Qt::UserRole).toLongLong(), 42);
}

struct SenderPageTest : ::testing::Test {
    CUiApp ui{"[SETTINGS]\r\n", "[Tarnwick]\r\n7004=Buddies\r\n7002=Plus\r\n"};
    QWidget host;
};

// Bad domains are refused with the dialog kept open; a "*" name makes a
// domain entry that the filter uses at once.
TEST_F(SenderPageTest, AddsReachTheirFileAndTheFilterAtOnce) {
    const QStringList bad = {"offers", ".offers", "offers.", "."};
    auto* blocked = OpenPage<CBlockedListPage>(*ui.app, host);
    CBoxRecorder boxes;
    int stayedOpen = 0;
    WhenModal<CAddSenderDialog>([&](CAddSenderDialog* dialog) {
        for (const QString& domain : bad) {
            TypeInto(dialog, 1029, domain);
            Click(dialog, 1);
            stayedOpen += dialog->isVisible();
        }
        TypeInto(dialog, 1029, "offers.example");
        Click(dialog, 1);
    });
    Click(blocked, 1023);
    EXPECT_EQ(stayedOpen, 4);
    ASSERT_EQ(boxes.seen.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(boxes.seen[i].Caption, "Invalid Domain Name");
        EXPECT_EQ(boxes.seen[i].Icon, QMessageBox::Critical);
        EXPECT_TRUE(boxes.seen[i].Text.startsWith(bad[i] + " is not a vaild domain name (e.g."))
            << boxes.seen[i].Text;
    }
    EXPECT_EQ(Rows(blocked), QStringList({"{*} @offers.example"}));
    EXPECT_EQ(List(blocked)->item(0, 0)->data(Qt::UserRole).toLongLong(), 0);
    filter_test::Mail mail;
    mail.From = "deals@offers.example";
    ui.app->MailLifeTime = 1000000; // judged by the lists only, not by its age
    EXPECT_EQ(ui.app->JudgeBatch({filter_test::MessageText(mail)}), std::vector<unsigned char>{0});
    EXPECT_EQ(ui.app->GetHistorySnapshot().back()->Reason, "23003");

    auto* friends = OpenPage<CFriendListPage>(*ui.app, host);
    WhenModal<CAddSenderDialog>([](CAddSenderDialog* dialog) {
        TypeInto(dialog, 1032, "ann");
        TypeInto(dialog, 1029, "mail.example");
        Click(dialog, 1);
    });
    Click(friends, 1023);
    EXPECT_EQ(Rows(friends), QStringList({"{ann} @mail.example"}));
    EXPECT_TRUE(ui.app->FriendAddresses.Contains("ann@mail.example"));
    EXPECT_EQ(ui.dir.Read(kFriends), "   ann@mail.example\r\n");
    EXPECT_EQ(ui.dir.Read(kBlocked), "   *@offers.example\r\n");
}

// Showing localizes the page and reloads the file, which appends its live
// entries to the filter's list again. Friend rows can be deleted but not
// edited in place.
TEST_F(SenderPageTest, DeletingSelectedRowsMarksTheirLines) {
    const std::string file =
        "   a@x.example\r\n   b@x.example\r\n   c@x.example\r\n   d@x.example\r\n";
    ui.dir.Write(kFriends, file);
    auto* page = OpenPage<CFriendListPage>(*ui.app, host);
    QTableWidget* list = List(page);
    EXPECT_EQ(list->horizontalHeaderItem(0)->text(), "Buddies");
    EXPECT_EQ(Control<QPushButton>(page, 1023)->text(), "Plus");
    EXPECT_EQ(ui.app->FriendAddresses.Size(), 8u);
    EXPECT_FALSE(Enabled(page, 1017));
    ClickRow(list, 0);
    EXPECT_TRUE(Enabled(page, 1017));
    ClickRow(list, 1, Qt::ControlModifier);
    ClickRow(list, 3, Qt::ControlModifier);
    Click(page, 1017);
    EXPECT_EQ(Rows(page), QStringList({"{c} @x.example"}));
    EXPECT_FALSE(Enabled(page, 1017));
    std::string marked = file;
    for (size_t offset : {0, 16, 48})
        marked.replace(offset, 3, "|*|");
    EXPECT_EQ(ui.dir.Read(kFriends), marked);

    ClickRow(list, 0);
    ASSERT_TRUE(Enabled(page, 1017));
    ClickRow(list, -1);
    EXPECT_FALSE(Enabled(page, 1017));
    ClickRow(list, 0, {}, true);
    EXPECT_EQ(list->viewport()->findChild<QLineEdit*>(), nullptr);
}

// The check-and-complete rules on a row edited in place. Only the row
// changes; the next show or hide brings back the file's entry.
TEST_F(SenderPageTest, InPlaceEditIsCompletedOrRefused) {
    const std::pair<const char*, const char*> cases[] = {
        // typed, the row afterwards or (starting with "!") the refusal's caption
        {"{ann} @mail.example", "{ann} @mail.example"},
        {"ann} @mail.example", "{ann} @mail.example"},
        {"{ann @mail.example", "{ann} @mail.example"},
        {"{ann} mail.example", "{ann} @mail.example"},
        // Marks go in at positions counted in the text as typed.
        {"ann @mail.example", "{an}n @mail.example"},
        {"@mail.example", "}{@mail.example"},
        {"ann}.", "{ann}@."},
        {"ann mail.example", "!Invalid name"},
        {"{ann} @mailexample", "!Invalid domain name"},
        {"{ann @mailexample", "!Invalid domain name"}};
    ui.dir.Write(kBlocked, "   bob@mail.example\r\n");
    auto* page = OpenPage<CBlockedListPage>(*ui.app, host);
    QTableWidget* list = List(page);
    for (auto [typed, after] : cases) {
        SCOPED_TRACE(typed);
        ClickRow(list, 0, {}, true);
        auto* editor = list->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        CBoxRecorder boxes;
        editor->setText(typed);
        QTest::keyClick(editor, Qt::Key_Return);
        const bool refused = after[0] == '!';
        const QString shown = refused ? "{bob} @mail.example" : after;
        EXPECT_TRUE(QTest::qWaitFor([&] { return list->item(0, 0)->text() == shown; }, 5000))
            << list->item(0, 0)->text();
        if (refused && boxes.WaitFor(1)) {
            EXPECT_EQ(boxes.seen[0],
                      (SeenMessage{after + 1, "This is not a valid email", QMessageBox::Critical}));
        }
        EXPECT_EQ(boxes.seen.size(), refused ? 1u : 0u);
        page->hide();
        EXPECT_EQ(Rows(page), QStringList({"{bob} @mail.example"}));
        page->show();
    }
    EXPECT_EQ(ui.dir.Read(kBlocked), "   bob@mail.example\r\n");
}

} // namespace
